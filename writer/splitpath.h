// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

struct PathParts {
    QString directory; // everything before the last separator; the whole path if it has none
    QString fileName;  // everything after the last separator
};

// Cuts a path at its last separator. The separator is "/", or a pair of backslashes when the
// path holds one ("C:\\data\\cjs.txt"); a single backslash never separates. Empty parts are
// kept, so "/home/a/cjs.txt" gives "/home/a" and "C:/data/" gives "C:/data" and "".
PathParts splitPath(const QString &path);
