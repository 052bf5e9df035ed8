// SPDX-License-Identifier: GPL-3.0-or-later
#include "savejob.h"

#include <utility>

SaveJob::SaveJob(const OutputTarget &target, const ModelOptions &options, QObject *parent)
    : SaveJob(
        [target, options](const SaveMonitor &monitor) {
            return saveModelDefinition(target, options, monitor);
        },
        parent) {}

SaveJob::SaveJob(Work work, QObject *parent)
    : WorkerJob(parent)
    , work(std::move(work)) {}

SaveJob::~SaveJob() {
    stopWorker();
}

// Runs on the worker thread.
void SaveJob::run() {
    SaveMonitor monitor;
    monitor.progress = [this](quint64 linesWritten, quint64 totalLines) {
        written.store(linesWritten);
        total.store(totalLines);
        return !isCancelRequested();
    };
    monitor.finishing = [this] { finishingFile.store(true); };
    monitor.stopRequested = [this] { return isCancelRequested(); };
    outcome = work(monitor);
}
