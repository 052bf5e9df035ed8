// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"
#include "uint128.h"

#include <QLocale>
#include <QStringConverter>

#include <utility>
#include <vector>

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

// Where the line of each history starts in the file, by the same counting: the lines before a
// history fall into runs that share a prefix with it and then take a smaller digit, and each
// run's bytes have a closed form. O(N) a history, so that chunks of lines can be placed in the
// file before the lines ahead of them are made. Kept for files shorter than 2^63 bytes, the
// most a file offset reaches.
class HistoryLineOffsets {
public:
    explicit HistoryLineOffsets(const ModelOptions &options, int newlineLength = 1,
                                QStringConverter::Encoding encoding = QStringConverter::System);

    // False for N < 2 and for a file of 2^63 bytes or more; offsetOf() then answers 0.
    bool isValid() const { return valid; }

    // Bytes from the start of the file to the line of history `index` (0 is the first); the
    // number of histories gives the size of the whole file, and so does any larger index.
    quint64 offsetOf(quint64 index) const;

private:
    // The first digits of a run of histories, none of them a 2, as the walk sums them.
    struct Prefix {
        quint64 symbols = 0;          // bytes of their symbols
        quint64 factors = 0;          // of their factors
        quint64 factorsUntilLast = 0; // of the factors up to their last detection
        int lastDetection = 0;
    };
    Prefix extended(const Prefix &prefix, int occasion, int digit) const;
    quint64 runBytes(const Prefix &prefix, int occasion) const;
    int limitOf(int occasion) const { return occasion == n ? 1 : (censoring ? 2 : 1); }
    quint64 symbolBytes(int occasion, int digit) const {
        return pieceBytes[size_t(6 * occasion + digit)];
    }
    quint64 factorBytes(int occasion, int digit) const { // occasions 1..N-1
        return pieceBytes[size_t(6 * occasion + 3 + digit)];
    }

    int n;
    bool censoring;
    bool valid = false;
    quint64 headBytes = 0;
    quint64 lineBytes = 0;             // what every line has: release prefix, ", ", line end
    std::vector<quint64> pieceBytes;   // by occasion (1..N): symbols and factors by digit
    std::vector<quint64> closingBytes; // by last detection, 0..N
    // By the first free occasion j (1..N+1), over the rows of the histories from j on:
    std::vector<quint64> completions;    // how many there are
    std::vector<quint64> suffixSymbols;  // the bytes of their symbols
    std::vector<quint64> suffixProducts; // of their factors from j on and closings, for the
                                         // rows with a detection from j on
};

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
