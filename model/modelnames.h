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

// The confusable skeleton of a name (Unicode TR39, through ICU's spoof checker): names with the
// same skeleton read alike whatever alphabet each character comes from, such as "p1" in Latin,
// "р1" with a Cyrillic er, "ρ1" with a Greek rho and full-width "ｐ1". Case counts ("s" and
// "S" differ), and so do digits that look like no letter.
QString confusableSkeleton(QStringView name);

// "U+0440 CYRILLIC SMALL LETTER ER": what a character is, for messages about characters that
// look like others.
QString describeCharacter(char32_t character);

// The first code point at which two texts differ, in each of them; false when they are equal.
bool firstDifference(QStringView a, QStringView b, char32_t &inA, char32_t &inB);

// The text with the characters one cannot see made visible: a tab as \t, a line break as \n,
// a carriage return as \r, any other control or invisible format character as \u{hex}.
QString visibleText(QStringView text);

// The text with its middle replaced by "…" when it is longer than `longest` characters, cut
// between whole characters: a name of thousands of characters keeps its start and its end.
QString shortenedInTheMiddle(const QString &text, int longest);
