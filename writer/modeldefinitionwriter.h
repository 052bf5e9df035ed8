// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>

class QTextStream;
struct ModelOptions;

// Writes the model definition file of a CJS model: the parameters, variables and likelihood
// sections, the likelihood with one line per detection history. The text is streamed a line at
// a time; memory stays that of one history and one block of output, whatever N is.
class ModelDefinitionWriter {
public:
    enum class Outcome { Completed, Cancelled, Failed };

    // Told the lines written so far and the total (both saturate at 2^64 - 1); returning false
    // stops the writing.
    using Progress = std::function<bool(quint64 linesWritten, quint64 totalLines)>;
    static constexpr quint64 ProgressInterval = 16384; // lines between two calls

    // Appends the whole file to out; does not flush or close it. When the device refuses a
    // write, the stream's status becomes WriteFailed and the writing stops.
    static void write(QTextStream &out, const ModelOptions &options);
    static Outcome write(QTextStream &out, const ModelOptions &options, const Progress &progress);
};
