// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a rectangle of the X screen as PNG: the display test's picture of the framed window,
// title bar and border drawn by the window manager included, for the README.
// Usage: tarskcjs_grabframe <x> <y> <width> <height> <png-file>   (on the xcb platform)

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QTextStream>
#include <QThread>

#include <utility>

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    int values[4] = {};
    bool numbers = arguments.size() == 6;
    for (int i = 0; numbers && i < 4; ++i)
        values[i] = arguments.at(i + 1).toInt(&numbers);
    const QRect rect(values[0], values[1], values[2], values[3]);
    if (!numbers || rect.isEmpty()) {
        QTextStream(stderr) << "usage: tarskcjs_grabframe <x> <y> <width> <height> <png-file>"
                            << Qt::endl;
        return 2;
    }

    // The window may still be painting when it is first mapped: wait until two pictures a
    // moment apart agree.
    QScreen *screen = QGuiApplication::primaryScreen();
    QImage picture;
    for (int attempt = 0; attempt < 50; ++attempt) {
        QImage next =
            screen->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height()).toImage();
        if (!next.isNull() && next == picture)
            break;
        picture = std::move(next);
        QThread::msleep(100);
    }
    if (picture.size() != rect.size()) {
        QTextStream(stderr) << "cannot grab the screen" << Qt::endl;
        return 1;
    }
    if (!picture.save(arguments.at(5), "PNG")) {
        QTextStream(stderr) << arguments.at(5) << ": cannot write the picture" << Qt::endl;
        return 1;
    }
    return 0;
}
