// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <atomic>

class QThread;

// One piece of work run on a thread of its own, so that the window keeps processing events
// for the whole of it. The worker owns what it works on; the job passes it the request to
// stop and tells, on the job's own thread, when it is over.
class WorkerJob : public QObject {
    Q_OBJECT

public:
    void start();
    // Asks the worker to stop; the work decides where it can.
    void cancel();
    bool isRunning() const;

signals:
    void finished();

protected:
    explicit WorkerJob(QObject *parent = nullptr);
    ~WorkerJob() override;

    // Every derived destructor calls this first: the worker still uses the derived members.
    void stopWorker();
    bool isCancelRequested() const { return cancelRequested.load(); }

private:
    virtual void run() = 0; // on the worker thread

    QThread *worker = nullptr;
    std::atomic<bool> cancelRequested{false};
};
