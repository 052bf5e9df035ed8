// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QMessageBox;

// Texts that carry file names or the analyst's input: shown as they are, and wrapped even
// where they hold no space.

// The text with a zero-width space after every LongestRun characters that hold no space nor
// "/", so that a label can wrap a long file name instead of cutting it off at the edge.
QString wrappable(const QString &text);
inline constexpr int LongestRun = 40;

// Shows the box's texts as plain text, never as markup: a file called "<b>model.txt" is
// announced by that name.
void makePlainText(QMessageBox &box);
