// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"
#include "modelvalidation.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What one run of the companion is asked to do.
struct CompanionRequest {
    enum class Action { Write, Stats, Check, Help, Version, UsageError };
    enum class Progress { Auto, On, Off };

    Action action = Action::Write;
    ModelOptions options;
    QString outputFile; // empty: standard output
    Progress progress = Progress::Auto;
    bool allowNameClashes = false;
    QString checkFile;               // --check: the file to check, "-" for standard input
    bool compareWithOptions = false; // --check with model options: compare with their file
    quint32 seed = 0;                // --check: the first draw's seed
    QString text;                    // the help or version text, or the usage error's one line
    QStringList warnings;            // options given that have no effect on the model
};

// Parses the companion's arguments (the program name first). Never exits and prints nothing,
// so that it can be tested and fuzzed.
CompanionRequest parseCommandLine(const QStringList &arguments);

// The usage error for the first argument (after the program name) that is not valid text in
// the system's encoding, or an empty string. Such an argument would reach the file mangled.
QString undecodableArgumentError(const QList<QByteArray> &arguments);

// The option that sets a field, for messages ("--survival").
QString optionForField(ModelField field);
