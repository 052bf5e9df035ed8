// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionwriter.h"
#include "outputtarget.h"

#include <QString>

#include <functional>

struct ModelOptions;

// What the caller hears of a save while it runs, on the thread that runs it.
struct SaveMonitor {
    // Lines written so far and in all; returning false stops the writing.
    ModelDefinitionWriter::Progress progress;
    // Everything is written and the file is being finished (flushed to disk and put in place):
    // from here on the save no longer stops.
    std::function<void()> finishing;
    // Asked while a device keeps the save waiting (a FIFO without a reader, a full pipe).
    std::function<bool()> stopRequested;
};

struct SaveResult {
    enum class Status { Saved, OpenFailed, WriteFailed, Cancelled };

    Status status = Status::Saved;
    QString errorString; // why, for OpenFailed and WriteFailed
};

// Writes a model definition file to the target. A file is written atomically: the text goes
// into a temporary file beside it, which replaces the file only once everything has been
// written and flushed, keeping the permissions and, where the process may, the owner and group
// of the file it replaces; then the directory is flushed, so that the new name survives a
// crash. On failure or cancellation no partial file is left and an earlier file stays as it
// was. Devices, FIFOs and descriptors are written straight through. Text mode (CR LF on
// Windows) and the system's encoding (UTF-8 outside Windows), without a byte-order mark.
SaveResult saveModelDefinition(const OutputTarget &target, const ModelOptions &options,
                               const SaveMonitor &monitor = {});
