// SPDX-License-Identifier: GPL-3.0-or-later
#include "companion.h"
#include "version.h"

#include <QCoreApplication>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarskcjs-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARSKCJS_VERSION));
    QCoreApplication::setOrganizationDomain(QStringLiteral(TARSKCJS_ORGANIZATION_DOMAIN));
    return runCompanion(QCoreApplication::arguments());
}
