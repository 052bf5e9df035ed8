// SPDX-License-Identifier: GPL-3.0-or-later
#include "savejob.h"

#include <QThread>

#include <utility>

SaveJob::SaveJob(const OutputTarget &target, const ModelOptions &options, QObject *parent)
    : SaveJob(
        [target, options](const SaveMonitor &monitor) {
            return saveModelDefinition(target, options, monitor);
        },
        parent) {}

SaveJob::SaveJob(Work work, QObject *parent)
    : QObject(parent)
    , work(std::move(work)) {}

SaveJob::~SaveJob() {
    if (worker) {
        cancel();
        worker->wait();
    }
}

void SaveJob::start() {
    worker = QThread::create([this] { run(); });
    worker->setParent(this);
    // Queued to this object's thread, after the worker has stored the outcome.
    connect(worker, &QThread::finished, this, [this] {
        worker->wait();
        emit finished();
    });
    worker->start();
}

void SaveJob::cancel() {
    cancelRequested.store(true);
}

bool SaveJob::isRunning() const {
    return worker && !worker->isFinished();
}

// Runs on the worker thread.
void SaveJob::run() {
    SaveMonitor monitor;
    monitor.progress = [this](quint64 linesWritten, quint64 totalLines) {
        written.store(linesWritten);
        total.store(totalLines);
        return !cancelRequested.load();
    };
    monitor.finishing = [this] { finishingFile.store(true); };
    monitor.stopRequested = [this] { return cancelRequested.load(); };
    outcome = work(monitor);
}
