// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// Exit codes of the companion.
enum CompanionExit {
    ExitSuccess = 0,
    ExitWriteFailure = 1, // or, with --check, the file could not be read
    ExitUsage = 2,
    ExitUnsound = 3, // --check found errors
    ExitInterrupted = 130
};

// Opens /dev/null on any of the descriptors 0-2 that are closed; call it first thing.
void openClosedStandardDescriptors();

// Runs the companion on its arguments (the program name first) and returns the exit code.
// Results go to standard output, messages to standard error.
int runCompanion(const QStringList &arguments);
