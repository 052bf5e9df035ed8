// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelfilesaver.h"
#include "modeloptions.h"
#include "outputtarget.h"

#include <QObject>

#include <atomic>
#include <functional>

class QThread;

// One save of a model definition file, run on a worker thread so that the window keeps
// processing events for the whole of it, the final flush included. The worker owns the file,
// the stream and the history counter; this object only passes it the request to stop and
// reads how far it has come.
class SaveJob : public QObject {
    Q_OBJECT

public:
    // What the worker runs; it hears of progress and stop requests through the monitor.
    using Work = std::function<SaveResult(const SaveMonitor &)>;

    SaveJob(const OutputTarget &target, const ModelOptions &options, QObject *parent = nullptr);
    explicit SaveJob(Work work, QObject *parent = nullptr);
    ~SaveJob() override; // stops the worker and waits for it

    void start();
    // Asks the worker to stop and discard the new file; it has no effect once the file is
    // being finished.
    void cancel();

    quint64 linesWritten() const { return written.load(); }
    quint64 totalLines() const { return total.load(); }
    bool isFinishing() const { return finishingFile.load(); }
    bool isRunning() const;
    // Valid after finished().
    SaveResult result() const { return outcome; }

signals:
    void finished();

private:
    void run();

    const Work work;
    QThread *worker = nullptr;
    std::atomic<quint64> written{0};
    std::atomic<quint64> total{0};
    std::atomic<bool> finishingFile{false};
    std::atomic<bool> cancelRequested{false};
    SaveResult outcome;
};
