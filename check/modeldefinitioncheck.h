// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

// Something the check found in a model definition file, for the analyst.
struct ModelCheckFinding {
    enum class Severity { Error, Warning };
    enum class Kind {
        Syntax,                     // the file cannot be read on from here
        ParameterDeclaredTwice,     //
        ParameterUnused,            // a warning: declared, used nowhere
        NamesReadAlike,             // a warning: two names differ only in look-alike characters
        ParameterDefinedAsVariable, // a declared parameter also has a definition
        VariableDefinedTwice,       //
        VariableUsedEarly,          // used above its definition
        VariableDefinedByItself,    //
        UndefinedName,              // neither a parameter nor a variable of the file
        HistoryLength,              // another number of symbols than the first history
        HistoryTwice,               //
        HistorySymbol,              // a symbol that breaks the pattern of the histories
        HistoryMissing,             // the rows are not the complete set of histories
        CellOutOfRange,             // a cell probability outside [0, 1]
        CellsDoNotSumToOne,         //
        BeyondLimits,               // the check cannot go on: the file exceeds what it keeps
        DiffersFromOptions,         // not the file the writer makes for the given options
    };

    Kind kind = Kind::Syntax;
    Severity severity = Severity::Error;
    qint64 line = 0;
    qint64 column = 0; // from 1 where it matters, else 0
    QString message;   // a sentence
};

struct ModelCheckSettings {
    static constexpr quint32 DefaultSeed = 20240229;
    static constexpr int DefaultDraws = 3;

    // When set, the file must also be, line for line, what the writer makes for these options.
    std::optional<ModelOptions> expected;
    // The parameters are drawn at random in (0, 1), `draws` times; draw d (from 1) uses the
    // generator seeded with seed + d - 1, so a result can be reproduced draw by draw. Another
    // draw gives them values by their role so that no cell is tiny.
    quint32 seed = DefaultSeed;
    int draws = DefaultDraws;
    // Told, as the file is read, how many bytes have been read and the file's size (-1 when it
    // is not known, as for a pipe); returning false stops the check, whose verdict is then
    // Cancelled. Called on the thread that runs the check.
    std::function<bool(qint64 bytesRead, qint64 totalBytes)> progress;
    // The memory the check may take to tell that every history is there once, whatever
    // their order; a larger file (at least 2^26 histories) must list them in the writer's
    // order.
    qsizetype historyMapBytes = qsizetype(16) << 20;
};

struct ModelCheckResult {
    enum class Verdict {
        Sound,      // no errors; warnings may be there
        Unsound,    // at least one error, a syntax error included
        Unreadable, // the device failed; readError says why
        Cancelled,  // stopped by the progress callback; the findings so far are kept
    };

    Verdict verdict = Verdict::Sound;
    QList<ModelCheckFinding> findings; // by line
    QString readError;
    quint64 histories = 0; // read before the check ended
    // Besides the random draws, the cells were summed in a draw in which none is tiny.
    bool balancedDraw = false;
};

// Reads the device to its end, once, and checks that it is a sound model definition file: its
// syntax, its names, its histories (exactly the complete set for some number of occasions,
// each once) and the laws of probability (every cell in [0, 1], the cells summing to 1, for
// parameters drawn at random and balanced), and against the writer's text for the expected
// options when they are given. Memory stays below 64 MB whatever the file's size and the
// length of its lines; a file beyond the check's limits gets a finding that says which.
ModelCheckResult checkModelDefinition(QIODevice &device,
                                      const ModelCheckSettings &settings = ModelCheckSettings());

// "line 12, column 7: error: expected ..." or "line 3: warning: ...", for a terminal.
QString formatFinding(const ModelCheckFinding &finding);
