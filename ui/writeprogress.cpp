// SPDX-License-Identifier: GPL-3.0-or-later
#include "writeprogress.h"

#include "messagetext.h"
#include "savejob.h"

#include <QCloseEvent>
#include <QLabel>

namespace {

int step(quint64 linesWritten, quint64 totalLines) {
    constexpr int Steps = JobProgressDialog::Steps;
    if (totalLines == 0 || linesWritten >= totalLines)
        return linesWritten > 0 ? Steps : 0;
    return int(double(linesWritten) / double(totalLines) * Steps);
}

} // namespace

JobProgressDialog::JobProgressDialog(WorkerJob *job, QWidget *parent, const QString &title)
    : QProgressDialog(parent) {
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(title);
    auto *label = new QLabel(this);
    label->setTextFormat(Qt::PlainText); // a file name is never markup
    label->setWordWrap(true);
    setLabel(label);
    setRange(0, Steps);
    setAutoReset(false);
    setAutoClose(false);
    // Cancel and the close button emit canceled(); Escape only rejects the dialog.
    connect(this, &QProgressDialog::canceled, job, &WorkerJob::cancel);
    connect(this, &QDialog::rejected, job, &WorkerJob::cancel);
}

void JobProgressDialog::setFileText(const QString &text, const QString &fileName) {
    setLabelText(text.arg(shownPath(fileName)));
    if (auto *label = findChild<QLabel *>())
        label->setToolTip(fileName);
}

void JobProgressDialog::setCancellable(bool cancellable) {
    this->cancellable = cancellable;
    if (!cancellable)
        setCancelButton(nullptr);
}

// While the work can no longer stop, neither Escape nor the close button may take the dialog
// away.
void JobProgressDialog::reject() {
    if (cancellable)
        QProgressDialog::reject();
}

void JobProgressDialog::closeEvent(QCloseEvent *event) {
    if (cancellable)
        QProgressDialog::closeEvent(event);
    else
        event->ignore();
}

JobProgress::JobProgress(WorkerJob *job, QWidget *parent, const QString &title)
    : QObject(parent)
    , dialog(new JobProgressDialog(job, parent, title)) {}

JobProgress::~JobProgress() {
    delete dialog;
}

void JobProgress::end() {
    timer.stop();
    if (dialog)
        dialog->hide();
    deleteLater();
}

WriteProgress::WriteProgress(SaveJob *job, QWidget *parent, const QString &title,
                             const QString &fileName)
    : JobProgress(job, parent, title)
    , job(job)
    , fileName(fileName) {
    dialog->setFileText(tr("Writing model definition file \"%1\"..."), fileName);
    dialog->setMinimumDuration(MinimumDuration);
    dialog->setValue(0);
    connect(&timer, &QTimer::timeout, this, &WriteProgress::update);
    timer.start(UpdateInterval);
}

// setValue() shows the dialog once the save looks long.
void WriteProgress::update() {
    if (!dialog)
        return;
    if (job->isFinishing() && !finishingShown) {
        finishingShown = true;
        dialog->setCancellable(false);
        dialog->setFileText(tr("Finishing model definition file \"%1\"..."), fileName);
    }
    const int value = step(job->linesWritten(), job->totalLines());
    if (value != dialog->value())
        dialog->setValue(value);
}
