// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the text on the X clipboard: what the display test's program copied, read back from
// another client, as a paste would.
// Usage: tarskcjs_readclipboard   (on the xcb platform)

#include <QClipboard>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    QTextStream(stdout) << QGuiApplication::clipboard()->text();
    return 0;
}
