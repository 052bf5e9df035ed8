// SPDX-License-Identifier: GPL-3.0-or-later
#include "progressbar.h"

#include <QByteArray>
#include <QLocale>

namespace {

constexpr qint64 RedrawIntervalMs = 100;
constexpr int BarWidth = 30;

} // namespace

ProgressBar::ProgressBar(FILE *terminal)
    : terminal(terminal) {}

ProgressBar::~ProgressBar() {
    if (drawn && !finished)
        std::fputc('\n', terminal); // leave the shell prompt on a line of its own
}

void ProgressBar::update(quint64 done, quint64 total) {
    if (drawn && sinceDrawn.elapsed() < RedrawIntervalMs)
        return;
    draw(done, total);
}

void ProgressBar::finish(quint64 done, quint64 total) {
    if (finished)
        return;
    if (drawn) {
        draw(done, total);
        std::fputc('\n', terminal);
    }
    finished = true;
}

void ProgressBar::draw(quint64 done, quint64 total) {
    const double fraction = total > 0 ? double(done) / double(total) : 1.0;
    const int filled = int(fraction * BarWidth);
    const QLocale locale;
    const QByteArray line = QStringLiteral("\r[%1%2] %3%  %4 of %5 lines")
                                .arg(QString(filled, u'#'), QString(BarWidth - filled, u' '))
                                .arg(int(fraction * 100), 3)
                                .arg(locale.toString(done), locale.toString(total))
                                .toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), terminal);
    std::fflush(terminal);
    sinceDrawn.start();
    drawn = true;
}
