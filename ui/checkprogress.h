// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "writeprogress.h"

#include <QString>

class CheckJob;
class QWidget;

// Shows how far a check has come, for a file of at least LargeFileBytes or of no known size (a
// FIFO, a device): a modal progress dialog with Cancel that appears when the check lasts more
// than about half a second. Smaller files are read in a moment and get none.
class CheckProgress : public JobProgress {
    Q_OBJECT

public:
    static constexpr qint64 LargeFileBytes = qint64(1) << 20;
    static constexpr int UpdateInterval = 50; // milliseconds
    static constexpr int MinimumDuration = 500;

    CheckProgress(CheckJob *job, QWidget *parent, const QString &title, const QString &fileName);

    static bool isWanted(const QString &fileName);

private:
    void update();

    CheckJob *job;
};
