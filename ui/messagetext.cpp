// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagetext.h"

#include <QLabel>
#include <QMessageBox>

// A label wraps only where the text allows a line break, and Qt 6.4's message box does not
// always fall back to breaking anywhere: a name longer than the box would run off its edge.
QString wrappable(const QString &text) {
    const QChar zeroWidthSpace(0x200B);
    QString result;
    result.reserve(text.size() + text.size() / LongestRun);
    int run = 0;
    for (const QChar c : text) {
        result += c;
        run = c.isSpace() || c == u'/' ? 0 : run + 1;
        if (run == LongestRun) {
            result += zeroWidthSpace;
            run = 0;
        }
    }
    return result;
}

void makePlainText(QMessageBox &box) {
    box.setTextFormat(Qt::PlainText);
    const auto labels = box.findChildren<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    for (QLabel *label : labels)
        label->setTextFormat(Qt::PlainText);
}
