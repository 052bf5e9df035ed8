// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

#include <cstdio>

// A one-line progress bar on a terminal, redrawn at most ten times a second.
class ProgressBar {
public:
    explicit ProgressBar(FILE *terminal);
    ~ProgressBar();

    void update(quint64 done, quint64 total);
    // Draws the count reached (when anything was drawn) and ends the line.
    void finish(quint64 done, quint64 total);

    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

private:
    void draw(quint64 done, quint64 total);

    FILE *terminal;
    QElapsedTimer sinceDrawn;
    bool drawn = false;
    bool finished = false;
};
