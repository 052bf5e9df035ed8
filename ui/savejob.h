// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelfilesaver.h"
#include "modeloptions.h"
#include "outputtarget.h"
#include "workerjob.h"

#include <atomic>
#include <functional>

// One save of a model definition file on a worker, the final flush included. The worker owns
// the file, the stream and the history counter; this object reads how far it has come.
class SaveJob : public WorkerJob {
    Q_OBJECT

public:
    // What the worker runs; it hears of progress and stop requests through the monitor.
    using Work = std::function<SaveResult(const SaveMonitor &)>;

    SaveJob(const OutputTarget &target, const ModelOptions &options, QObject *parent = nullptr);
    explicit SaveJob(Work work, QObject *parent = nullptr);
    ~SaveJob() override; // stops the worker and waits for it

    // cancel() has no effect once the file is being finished.
    quint64 linesWritten() const { return written.load(); }
    quint64 totalLines() const { return total.load(); }
    bool isFinishing() const { return finishingFile.load(); }
    // Valid after finished().
    SaveResult result() const { return outcome; }

private:
    void run() override;

    const Work work;
    std::atomic<quint64> written{0};
    std::atomic<quint64> total{0};
    std::atomic<bool> finishingFile{false};
    SaveResult outcome;
};
