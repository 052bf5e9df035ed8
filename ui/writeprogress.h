// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QTimer>

class QWidget;
class SaveJob;
class WorkerJob;

// The modal progress dialog of a job on a worker: Cancel, Escape and the dialog's close button
// ask the job to stop, unless the dialog has been told that the work can no longer stop. Its
// label shows a file's path as dialogs show paths, the whole path in its tool tip.
class JobProgressDialog : public QProgressDialog {
    Q_OBJECT

public:
    static constexpr int Steps = 1000;

    JobProgressDialog(WorkerJob *job, QWidget *parent, const QString &title);

    // The text, with "%1" standing for the file's path.
    void setFileText(const QString &text, const QString &fileName);
    void setCancellable(bool cancellable);
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool cancellable = true;
};

// A job's progress dialog, read from a timer on the GUI thread, so that the worker never waits
// for the window.
class JobProgress : public QObject {
    Q_OBJECT

public:
    ~JobProgress() override;

    // Once the job has finished: the updates stop, the dialog goes, and this object with its
    // dialog is deleted when control is back in the event loop. A shown modal progress dialog
    // processes events in setValue(), so the job's end may be handled from within that call,
    // which both must outlive.
    void end();

protected:
    JobProgress(WorkerJob *job, QWidget *parent, const QString &title);

    QPointer<JobProgressDialog> dialog;
    QTimer timer;
};

// Shows how far a save has come: the progress dialog appears only when the save lasts more
// than about half a second; once the file is being finished the dialog says so and offers no
// Cancel.
class WriteProgress : public JobProgress {
    Q_OBJECT

public:
    static constexpr int UpdateInterval = 50; // milliseconds
    static constexpr int MinimumDuration = 500;

    WriteProgress(SaveJob *job, QWidget *parent, const QString &title, const QString &fileName);

private:
    void update();

    SaveJob *job;
    QString fileName;
    bool finishingShown = false;
};
