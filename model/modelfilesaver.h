// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionwriter.h"
#include "uint128.h"

#include <QString>

struct ModelOptions;

// Whether a file of a given size fits on the volume that would hold it.
struct FreeSpace {
    bool known = false;   // false when the volume cannot be found (a missing directory)
    qint64 available = 0; // bytes the user may still write there
    UInt128 needed;

    bool fits() const { return !known || needed <= UInt128(quint64(available)); }
};

FreeSpace freeSpaceFor(const QString &fileName, UInt128 neededBytes);

// Writes a model definition file atomically: the text goes into a temporary file beside the
// target, which replaces the target only once everything has been written and flushed. On
// failure or cancellation no partial file is left and an earlier file of that name stays as
// it was. Text mode (CR LF on Windows) and the system's encoding, without a byte-order mark.
struct SaveResult {
    enum class Status { Saved, OpenFailed, WriteFailed, Cancelled };

    Status status = Status::Saved;
    QString errorString; // why, for OpenFailed and WriteFailed
};

SaveResult saveModelDefinition(const QString &fileName, const ModelOptions &options,
                               const ModelDefinitionWriter::Progress &progress = {});
