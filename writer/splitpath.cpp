// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitpath.h"

#include <QStringList>

PathParts splitPath(const QString &path) {
    const QString backslashPair = QStringLiteral("\\\\");
    const QString separator = path.contains(backslashPair) ? backslashPair : QStringLiteral("/");

    QStringList parts = path.split(separator, Qt::KeepEmptyParts);
    if (parts.size() == 1)
        return {path, path};

    const QString fileName = parts.takeLast();
    return {parts.join(separator), fileName};
}
