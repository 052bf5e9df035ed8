// SPDX-License-Identifier: GPL-3.0-or-later
#include "historyruns.h"

bool HistoryRuns::extends(const Run &run, std::optional<quint64> place, qint64 line,
                          qint64 column) const {
    if (!run.placed || !place || line != run.line + qint64(run.count) || column != run.column)
        return false;
    const qint64 offset = qint64(*place) - qint64(run.firstPlace);
    if (run.count == 1)
        return offset == 1 || offset == -1;
    return offset == run.step * qint64(run.count);
}

void HistoryRuns::add(const HistoryKey &key, std::optional<quint64> place, bool findable,
                      qint64 line, qint64 column) {
    if (full)
        return;
    if (!runs.isEmpty() && extends(runs.constLast(), place, line, column)) {
        Run &run = runs.last();
        if (run.count == 1)
            run.step = *place > run.firstPlace ? 1 : -1;
        ++run.count;
        run.last = key;
        return;
    }
    if (runs.size() == MaxRuns) {
        full = true;
        uncoveredFrom = line;
        return;
    }
    runs.append(
        {line, column, 1, place.value_or(0), 1, place.has_value() && findable, findable, key, key});
}

void HistoryRuns::placeLast(
    const std::function<std::optional<quint64>(const HistoryKey &)> &placeOf) {
    if (full || runs.isEmpty())
        return;
    Run &run = runs.last();
    if (run.placed || !run.findable)
        return;
    if (const std::optional<quint64> place = placeOf(run.first)) {
        run.placed = true;
        run.firstPlace = *place;
    }
}

HistoryRuns::Found HistoryRuns::find(const HistoryKey &key, std::optional<quint64> place,
                                     qint64 beforeLine, Place &found) const {
    for (const Run &run : runs) {
        if (run.line >= beforeLine)
            return Found::No;
        if (!run.findable)
            continue;
        if (!run.placed) {
            if (run.first == key) {
                found = {run.line, run.column};
                return Found::Yes;
            }
            continue;
        }
        if (!place)
            continue;
        const qint64 offset = (qint64(*place) - qint64(run.firstPlace)) * run.step;
        if (offset >= 0 && offset < qint64(run.count) && run.line + offset < beforeLine) {
            found = {run.line + offset, run.column};
            return Found::Yes;
        }
    }
    return full && uncoveredFrom < beforeLine ? Found::Unknown : Found::No;
}

qint64 HistoryRuns::drift() const {
    qint64 steps = 0;
    for (const Run &run : runs) {
        if (run.placed)
            steps += run.step * (qint64(run.count) - 1);
    }
    return steps;
}

HistoryRuns::Ends HistoryRuns::onlyRun() const {
    const Run &run = runs.constFirst();
    return {run.first, run.last, run.count, run.line, run.line + qint64(run.count) - 1};
}
