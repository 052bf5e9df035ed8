// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a picture of the main window as it first shows, for the README. Runs on the offscreen
// platform, so it needs no display: scripts/screenshot.sh runs it.
// Usage: tarskcjs_screenshot <png-file>

#include "mainwindow.h"

#include <QApplication>
#include <QPixmap>
#include <QTextStream>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: tarskcjs_screenshot <png-file>" << Qt::endl;
        return 2;
    }

    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    if (!window.grab().save(arguments.at(1), "PNG")) {
        QTextStream(stderr) << arguments.at(1) << ": cannot write the picture" << Qt::endl;
        return 1;
    }
    return 0;
}
