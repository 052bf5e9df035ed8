// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "writercomparison.h"

#include <memory>

class Findings;
class ObservedDevice;
class QIODevice;
struct ModelOptions;

// Whether the file is, line for line, what the writer makes for the given options. It sees
// every block of the file once, as the reader takes it from device().
class OptionsCheck {
public:
    OptionsCheck(Findings &findings, const ModelOptions &options, QIODevice &source);
    ~OptionsCheck();

    // The source's bytes, shown to the comparison on their way to the reader.
    QIODevice &device();

    // Reports the first line that differs. A file that differs from the writer's does so by
    // the place of a syntax error at the latest, or by ending early, which `fileEnded` tells.
    void finish(bool fileEnded);

    OptionsCheck(const OptionsCheck &) = delete;
    OptionsCheck &operator=(const OptionsCheck &) = delete;

private:
    Findings &findings;
    WriterComparison comparison;
    std::unique_ptr<ObservedDevice> observed;
};
