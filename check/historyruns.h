// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "historyset.h"

#include <QList>

#include <functional>
#include <optional>

// Where the histories of a file stand, for the findings: runs of histories that are consecutive
// in one order (each the next or each the previous of the one before) on consecutive lines. A
// file in the writer's order is one run; each edit adds a few. A row that has no place in the
// order is a run of its own, found again by its symbols.
//
// At most MaxRuns runs are kept: a file that needs more is pathological, and the lines of the
// rows after them are not known. What is kept is exact.
class HistoryRuns {
public:
    static constexpr qsizetype MaxRuns = 4096;

    struct Place {
        qint64 line = 0;
        qint64 column = 0;
    };
    enum class Found { Yes, No, Unknown };

    // The next row, in the order of the file. `place` is its place in this list's order, if it
    // has one; a row that is not `findable` (a symbol without id) is never found again.
    void add(const HistoryKey &key, std::optional<quint64> place, bool findable, qint64 line,
             qint64 column);
    // The last run, when it is a row without a place, gets one if `placeOf` gives it one.
    void placeLast(const std::function<std::optional<quint64>(const HistoryKey &)> &placeOf);

    // The first row before `beforeLine` with these symbols.
    Found find(const HistoryKey &key, std::optional<quint64> place, qint64 beforeLine,
               Place &found) const;

    // How far the rows run up rather than down the order, counting each step within a run.
    qint64 drift() const;

    // Every row so far in one run of consecutive histories; a first row alone, which may get
    // its place only once the next rows tell the symbols' roles, counts as one.
    bool isOneRun() const {
        return runs.size() == 1 && !full
               && (runs.constFirst().placed || runs.constFirst().count == 1);
    }
    // The first row of the second run.
    qint64 secondRunLine() const { return runs.size() > 1 ? runs.at(1).line : uncoveredFrom; }

    struct Ends {
        HistoryKey first;
        HistoryKey last;
        quint64 count = 0;
        qint64 firstLine = 0;
        qint64 lastLine = 0;
    };
    // Of the one run.
    Ends onlyRun() const;

private:
    struct Run {
        qint64 line;
        qint64 column;
        quint64 count;
        quint64 firstPlace;
        int step; // +1 or -1 once there are two rows
        bool placed;
        bool findable;
        HistoryKey first;
        HistoryKey last;
    };

    bool extends(const Run &run, std::optional<quint64> place, qint64 line, qint64 column) const;

    QList<Run> runs;
    bool full = false;
    qint64 uncoveredFrom = 0; // the first row not in a run, once full
};
