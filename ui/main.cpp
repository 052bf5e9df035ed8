// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"
#include "version.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarskCjs"));
    QApplication::setOrganizationDomain(QStringLiteral(TARSKCJS_ORGANIZATION_DOMAIN));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":icons/TarskCjs.png")));

    MainWindow window;
    window.show();
    return app.exec();
}
