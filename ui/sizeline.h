// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionsize.h"

#include <QColor>
#include <QLocale>
#include <QString>

class QPalette;

// The figures of `tarskcjs-cli --stats` for the form's window, in the locale's numbers:
// "65,536 histories · 10.8 MB (10,782,361 bytes)".
QString sizeLineText(const ModelDefinitionSize &size, const QLocale &locale);

// A count with the locale's digits and grouping, at any size; Qt's own formatting stops at
// 64 bits.
QString groupedNumber(UInt128 value, const QLocale &locale);
// The same for digits given in text ("633825300114114700748351602688"): what groupedNumber()
// does beyond 64 bits.
QString groupedDigits(const QString &digits, const QLocale &locale);

// Text in this colour reads as a warning beside the palette's window text.
QColor warningColour(const QPalette &palette);
