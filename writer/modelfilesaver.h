// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionwriter.h"
#include "outputtarget.h"

#include <QString>

#include <functional>

struct ModelOptions;

// What the caller hears of a save while it runs. `progress` comes from whichever thread wrote
// the lines: for a regular file either of the writer's two workers (the thread that runs the
// save, or the writer's helper thread), one at a time; otherwise the thread that runs the
// save. `finishing` and `stopRequested` come from the thread that runs the save. So
// `progress` must not touch what belongs to that thread without synchronising.
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
// written and flushed, giving the access of the file it replaces (see takeOverMetadata());
// then the directory is flushed, so that the new name survives a crash. On failure or
// cancellation no partial file is left and an earlier file stays as it was. Devices, FIFOs and
// descriptors are written straight through. A target that is no longer what the resolution
// found is refused. Text mode (CR LF on Windows) and the system's encoding (UTF-8 outside
// Windows), without a byte-order mark.
SaveResult saveModelDefinition(const OutputTarget &target, const ModelOptions &options,
                               const SaveMonitor &monitor = {});
