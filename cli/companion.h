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

// Which of the descriptors 0-2 the caller left closed.
struct ClosedStandardDescriptors {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens /dev/null on any of the descriptors 0-2 that are closed, so that no file opened later
// takes their place, and says which were; call it first thing.
ClosedStandardDescriptors openClosedStandardDescriptors();

// Runs the companion on its arguments (the program name first) and returns the exit code.
// Results go to standard output, messages to standard error. What would go to a standard
// output that was closed fails: it would vanish into /dev/null.
int runCompanion(const QStringList &arguments, ClosedStandardDescriptors closed = {});
