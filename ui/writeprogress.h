// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

// Progress of one file being written on the GUI thread: a modal progress dialog that appears
// only when the writing lasts more than about half a second, and whose Cancel stops it.
// Events are processed at most every UpdateInterval, so the dialog costs the writing little.
class WriteProgress {
    Q_DECLARE_TR_FUNCTIONS(WriteProgress)

public:
    static constexpr int UpdateInterval = 50; // milliseconds

    WriteProgress(QWidget *parent, const QString &title, const QString &fileName);
    ~WriteProgress();
    WriteProgress(const WriteProgress &) = delete;
    WriteProgress &operator=(const WriteProgress &) = delete;

    // For saveModelDefinition; valid while this object lives.
    ModelDefinitionWriter::Progress callback();
    bool wasCancelled() const;

private:
    bool update(quint64 linesWritten, quint64 totalLines);

    QPointer<QProgressDialog> dialog;
    QElapsedTimer sinceUpdate;
    bool cancelled = false;
};
