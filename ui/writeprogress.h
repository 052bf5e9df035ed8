// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QLabel;
class QWidget;
class SaveJob;
class SaveProgressDialog;

// Shows how far a save has come: a modal progress dialog that appears only when the save
// lasts more than about half a second. Cancel, Escape and the dialog's close button ask the
// save to stop; once the file is being finished the dialog says so and offers no Cancel.
// It reads the job's progress from a timer on the GUI thread, so the worker never waits for
// the window.
class WriteProgress : public QObject {
    Q_OBJECT

public:
    static constexpr int UpdateInterval = 50; // milliseconds
    static constexpr int MinimumDuration = 500;

    WriteProgress(SaveJob *job, QWidget *parent, const QString &title, const QString &fileName);
    ~WriteProgress() override;

private:
    void update();

    SaveJob *job;
    QString fileName;
    QPointer<SaveProgressDialog> dialog;
    QTimer timer;
    bool finishingShown = false;
};
