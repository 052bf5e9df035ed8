// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"
#include "uint128.h"

#include <QLocale>
#include <QStringConverter>

#include <utility>

// The exact size of the file ModelDefinitionWriter writes, found by counting rather than by
// enumerating histories: for every N the form allows (2^99 lines at N = 99) in microseconds.
struct ModelDefinitionSize {
    UInt128 lines; // likelihood lines, one per detection history
    UInt128 bytes; // the whole file; saturates at UInt128::max() for absurdly long names
};

// Histories over N occasions: 2^N, or 3 * 2^(N-1) - 1 with censoring.
UInt128 historyCount(int numPeriods, bool censoring);

// newlineLength is what each "\n" becomes on the device: 1 for LF, 2 for CR LF.
ModelDefinitionSize
modelDefinitionSize(const ModelOptions &options, int newlineLength = 1,
                    QStringConverter::Encoding encoding = QStringConverter::System);

// "512 bytes", "3.2 GB": decimal units up to YB, then powers of ten; `decimals` digits after
// the point.
QString humanReadableSize(UInt128 bytes, int decimals = 1);
// The same with the numbers in a locale's digits and decimal point: "10,8 MB".
QString humanReadableSize(UInt128 bytes, const QLocale &locale, int decimals = 1);

// Two sizes as humanReadableSize() writes them, with as many decimals as it takes (up to
// exact bytes) for sizes that differ to read differently: "1.05 MB" and "1.04 MB", never
// "1.0 MB" twice.
std::pair<QString, QString> distinctSizes(UInt128 first, UInt128 second);

// What "\n" becomes in a file written in text mode on this platform.
#ifdef Q_OS_WIN
inline constexpr int NativeNewlineLength = 2;
#else
inline constexpr int NativeNewlineLength = 1;
#endif
