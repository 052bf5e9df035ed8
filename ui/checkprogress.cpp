// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkprogress.h"

#include "checkjob.h"

#include <QFileInfo>

#include <algorithm>

CheckProgress::CheckProgress(CheckJob *job, QWidget *parent, const QString &title,
                             const QString &fileName)
    : JobProgress(job, parent, title)
    , job(job) {
    dialog->setFileText(tr("Checking model definition file \"%1\"..."), fileName);
    dialog->setMinimumDuration(MinimumDuration);
    dialog->setValue(0);
    connect(&timer, &QTimer::timeout, this, &CheckProgress::update);
    timer.start(UpdateInterval);
}

bool CheckProgress::isWanted(const QString &fileName) {
    const QFileInfo info(fileName);
    return !info.isFile() || info.size() >= LargeFileBytes;
}

// Without a size the dialog shows that work goes on; setValue() shows it once the check looks
// long.
void CheckProgress::update() {
    if (!dialog)
        return;
    const qint64 total = job->totalBytes();
    if (total <= 0) {
        if (dialog->maximum() != 0)
            dialog->setRange(0, 0);
        return;
    }
    const int value =
        int(double(std::min(job->bytesRead(), total)) / double(total) * JobProgressDialog::Steps);
    if (value != dialog->value())
        dialog->setValue(value);
}
