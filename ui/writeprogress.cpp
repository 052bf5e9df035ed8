// SPDX-License-Identifier: GPL-3.0-or-later
#include "writeprogress.h"

#include "messagetext.h"
#include "savejob.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressDialog>

namespace {

constexpr int Steps = 1000;

int step(quint64 linesWritten, quint64 totalLines) {
    if (totalLines == 0 || linesWritten >= totalLines)
        return linesWritten > 0 ? Steps : 0;
    return int(double(linesWritten) / double(totalLines) * Steps);
}

} // namespace

// A progress dialog that can be told to stay until the work is done: while the file is being
// finished neither Escape nor the window's close button may take it away.
class SaveProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;

    void setCancellable(bool cancellable) { this->cancellable = cancellable; }
    void reject() override {
        if (cancellable)
            QProgressDialog::reject();
    }

protected:
    void closeEvent(QCloseEvent *event) override {
        if (cancellable)
            QProgressDialog::closeEvent(event);
        else
            event->ignore();
    }

private:
    bool cancellable = true;
};

WriteProgress::WriteProgress(SaveJob *job, QWidget *parent, const QString &title,
                             const QString &fileName)
    : QObject(parent)
    , job(job)
    , fileName(fileName)
    , dialog(new SaveProgressDialog(parent)) {
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setWindowTitle(title);
    auto *label = new QLabel(dialog);
    label->setTextFormat(Qt::PlainText); // a file name is never markup
    label->setWordWrap(true);
    dialog->setLabel(label);
    dialog->setLabelText(tr("Writing model definition file \"%1\"...").arg(wrappable(fileName)));
    dialog->setRange(0, Steps);
    dialog->setMinimumDuration(MinimumDuration);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    // Cancel and the close button emit canceled(); Escape only rejects the dialog.
    connect(dialog, &QProgressDialog::canceled, job, &SaveJob::cancel);
    connect(dialog, &QDialog::rejected, job, &SaveJob::cancel);
    dialog->setValue(0);
    connect(&timer, &QTimer::timeout, this, &WriteProgress::update);
    timer.start(UpdateInterval);
}

WriteProgress::~WriteProgress() {
    delete dialog;
}

// setValue() shows the dialog once the save looks long.
void WriteProgress::update() {
    if (!dialog)
        return;
    if (job->isFinishing() && !finishingShown) {
        finishingShown = true;
        dialog->setCancellable(false);
        dialog->setCancelButton(nullptr);
        dialog->setLabelText(
            tr("Finishing model definition file \"%1\"...").arg(wrappable(fileName)));
    }
    const int value = step(job->linesWritten(), job->totalLines());
    if (value != dialog->value())
        dialog->setValue(value);
}
