// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitioncheck.h"
#include "modeloptions.h"
#include "workerjob.h"

#include <QString>

#include <atomic>
#include <functional>

// One check of a model definition file on a worker, compared with the form's model. The worker
// opens and reads the file; this object reads how far it has come.
class CheckJob : public WorkerJob {
    Q_OBJECT

public:
    // Bytes read so far and the file's size (-1 when unknown); false stops the check.
    using Progress = std::function<bool(qint64 bytesRead, qint64 totalBytes)>;
    // What the worker runs.
    using Work = std::function<ModelCheckResult(const Progress &)>;

    CheckJob(const QString &fileName, const ModelOptions &form, QObject *parent = nullptr);
    explicit CheckJob(Work work, QObject *parent = nullptr);
    ~CheckJob() override; // stops the worker and waits for it

    qint64 bytesRead() const { return read.load(); }
    qint64 totalBytes() const { return total.load(); }
    // Valid after finished(); Cancelled whenever a stop was asked for before the check ended.
    ModelCheckResult result() const { return outcome; }

private:
    void run() override;

    const Work work;
    std::atomic<qint64> read{0};
    std::atomic<qint64> total{-1};
    ModelCheckResult outcome;
};

// Opens the file and checks it. A FIFO or a device is read without blocking, in short waits
// that ask `stopRequested`, so that a writer that never comes or stalls cannot hold the check.
ModelCheckResult checkModelDefinitionFile(const QString &fileName,
                                          const ModelCheckSettings &settings,
                                          const std::function<bool()> &stopRequested);
