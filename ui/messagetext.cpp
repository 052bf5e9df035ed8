// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagetext.h"

#include <QLabel>
#include <QMessageBox>
#include <QStringList>

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

QString shownPath(const QString &path) {
    QStringList names = path.split(u'/');
    for (QString &name : names)
        name = shortenedInTheMiddle(name, LongestRun);
    const QString shortened = names.join(u'/');
    if (shortened.size() <= LongestShownPath)
        return shortened;
    // Whole names from both ends, half the length each, around one "…" of its own.
    qsizetype first = 0;
    for (qsizetype length = 0; length + names.at(first).size() + 1 <= LongestShownPath / 2;)
        length += names.at(first++).size() + 1;
    qsizetype last = names.size();
    for (qsizetype length = 0; length + names.at(last - 1).size() + 1 <= LongestShownPath / 2;)
        length += names.at(--last).size() + 1;
    return (names.mid(0, first) + QStringList{QString(QChar(0x2026))} + names.mid(last)).join(u'/');
}

void makePlainText(QMessageBox &box) {
    box.setTextFormat(Qt::PlainText);
    const auto labels = box.findChildren<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    for (QLabel *label : labels)
        label->setTextFormat(Qt::PlainText);
}
