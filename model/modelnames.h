// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// What reads as one name in a product such as "s0*p1*X1": a letter or "_" first, then letters,
// digits, combining marks or "_". Letters and digits are Unicode ones ("φ1" is a name). A
// parameter stem that is a name stays one with its subscript appended.
bool isModelName(QStringView text);

// Whether a character may start, or continue, a name (a whole code point, not a surrogate).
bool isNameStart(char32_t character);
bool isNamePart(char32_t character);

// The text with the characters one cannot see made visible: a tab as \t, a line break as \n,
// a carriage return as \r, any other control or invisible format character as \u{hex}.
QString visibleText(QStringView text);
