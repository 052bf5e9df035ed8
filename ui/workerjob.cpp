// SPDX-License-Identifier: GPL-3.0-or-later
#include "workerjob.h"

#include <QThread>

WorkerJob::WorkerJob(QObject *parent)
    : QObject(parent) {}

WorkerJob::~WorkerJob() {
    stopWorker();
}

void WorkerJob::stopWorker() {
    if (worker) {
        cancel();
        worker->wait();
    }
}

void WorkerJob::start() {
    worker = QThread::create([this] { run(); });
    worker->setParent(this);
    // Queued to this object's thread, after the worker has stored its outcome.
    connect(worker, &QThread::finished, this, [this] {
        worker->wait();
        emit finished();
    });
    worker->start();
}

void WorkerJob::cancel() {
    cancelRequested.store(true);
}

bool WorkerJob::isRunning() const {
    return worker && !worker->isFinished();
}
