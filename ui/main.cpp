// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"
#include "version.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarskCjs"));
    QApplication::setOrganizationDomain(QStringLiteral(TARSKCJS_ORGANIZATION_DOMAIN));
    // Lets Wayland compositors match the window with the installed desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(TARSKCJS_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":icons/TarskCjs.png")));

    MainWindow window;
    window.show();
    return app.exec();
}
