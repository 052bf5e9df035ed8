// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "companion.h"
#include "version.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[]) {
    // Before anything else opens a file, Qt included.
    const ClosedStandardDescriptors closed = openClosedStandardDescriptors();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarskcjs-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARSKCJS_VERSION));
    QCoreApplication::setOrganizationDomain(QStringLiteral(TARSKCJS_ORGANIZATION_DOMAIN));

    QList<QByteArray> rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments.append(QByteArray(argv[i]));
    const QString undecodable = undecodableArgumentError(rawArguments);
    if (!undecodable.isEmpty()) {
        std::fputs(qPrintable(undecodable + u'\n'), stderr);
        return ExitUsage;
    }
    return runCompanion(QCoreApplication::arguments(), closed);
}
