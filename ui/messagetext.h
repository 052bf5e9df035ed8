// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelnames.h" // shortenedInTheMiddle

#include <QString>

class QMessageBox;

// Texts that carry file names or the analyst's input: shown as they are, and wrapped even
// where they hold no space.

// The text with a zero-width space after every LongestRun characters that hold no space nor
// "/", so that a label can wrap a long file name instead of cutting it off at the edge.
QString wrappable(const QString &text);
inline constexpr int LongestRun = 40;

// How much of a name or symbol of the form a box shows (shortenedInTheMiddle): two lines.
inline constexpr int LongestShownText = 2 * LongestRun;

// A file's path as a dialog shows it: a label can break it after every "/", each name in it
// is at most LongestRun characters (longer ones are shortened in the middle), and of a very
// deep path only the first and last names are kept, about LongestShownPath characters.
QString shownPath(const QString &path);
inline constexpr int LongestShownPath = 240;

// Shows the box's texts as plain text, never as markup: a file called "<b>model.txt" is
// announced by that name.
void makePlainText(QMessageBox &box);
