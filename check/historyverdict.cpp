// SPDX-License-Identifier: GPL-3.0-or-later
// HistoryCheck at the end: the reading that fits best, and what breaks it, told with lines.
#include "historycheck.h"

#include "findings.h"

#include <algorithm>
#include <limits>

namespace {

using CheckText::tr;

using Kind = ModelCheckFinding::Kind;
using namespace HistoryReadings;

constexpr qsizetype LongestShownHistory = 60; // characters, as quotedInFinding() cuts

} // namespace

// ---- The verdict -------------------------------------------------------------------------

// The repeats and the missing histories; the rows that do not fit come on top.
quint64 HistoryCheck::Cost::total() const {
    return (fitting - distinct) + (expected - distinct);
}

bool HistoryCheck::available(const Reading &reading) const {
    const int occasions = columns - (reading.release ? 1 : 0);
    const qsizetype needed =
        std::max({int(reading.y), int(reading.x), reading.censoring ? int(reading.z) : 0});
    return needed < texts.size() && occasions >= (reading.censoring ? 2 : 1);
}

HistoryCheck::Cost HistoryCheck::costOf(const Reading &reading) const {
    const Tables &t = tables();
    const int pair = t.pairOf[reading.y][reading.x];
    const int detectedBucket = reading.x == t.high[pair] ? 1 : 0;
    Cost cost;
    const auto add = [&](const MapState &state, int buckets) {
        for (int bucket = 0; bucket < buckets; ++bucket) {
            if (!reading.release || bucket == detectedBucket) {
                cost.fitting += state.rows[bucket];
                cost.distinct += state.distinct[bucket];
            }
        }
    };
    add(states[pair], 2);
    if (reading.censoring)
        add(states[t.censoredMapOf[reading.z][reading.y][reading.x]], 3);
    cost.expected = HistorySet::count(columns - (reading.release ? 1 : 0), reading.censoring);
    return cost;
}

// The reading with the fewest faults; on a tie the simplest (no censoring, no release), then
// the one in whose order the file runs forward. Without censoring, a set of histories reads
// the same with the two symbols' roles swapped; the writer lists "not detected" first.
int HistoryCheck::bestReading() const {
    int best = -1;
    quint64 bestFaults = 0;
    const bool backward = binaryRuns.drift() < 0;
    const auto simpler = [this, backward](const Reading &a, const Reading &b) {
        const auto rank = [this, backward](const Reading &r) {
            const bool forward = backward ? r.y == x0 && r.x == y0 : r.y == y0 && r.x == x0;
            return std::make_tuple(r.censoring, r.release, !forward);
        };
        return rank(a) < rank(b);
    };
    for (int r = 0; r < Readings; ++r) {
        const Reading &reading = tables().readings[r];
        if (!available(reading))
            continue;
        const Cost cost = costOf(reading);
        const quint64 faults = (indexedRows - cost.fitting) + cost.total();
        if (best < 0 || faults < bestFaults
            || (faults == bestFaults && simpler(reading, tables().readings[best]))) {
            best = r;
            bestFaults = faults;
        }
    }
    return best;
}

void HistoryCheck::finish(qint64 likelihoodLine, bool complete) {
    // The set is read at the first row's length: with that row the odd one, what it would
    // tell of the others is no help.
    if (reportLengths() || !complete || columns < 0 || tooLong || mode == Mode::Stopped)
        return;
    if (texts.size() < 2) {
        findings.add(Kind::HistoryMissing, firstLine,
                     tr("every history holds only the symbol %1: a complete set of histories "
                        "needs a symbol for detections too.")
                         .arg(symbolText(0)));
        return;
    }
    if (mode == Mode::InOrder) {
        reportInOrder(likelihoodLine);
        return;
    }
    const int best = bestReading();
    if (best < 0) // one column and no other reading
        return;
    const Reading &reading = tables().readings[best];
    const Cost cost = costOf(reading);
    if (indexedRows - cost.fitting + cost.total() == 0)
        return;
    reportBreaks(best);
    reportRepeats(reading);
    if (cost.expected > cost.distinct)
        reportMissing(reading, cost, likelihoodLine);
}

void HistoryCheck::reportBreaks(int readingIndex) {
    const Reading &reading = tables().readings[readingIndex];
    QList<BreakRecord> merged = breaks[readingIndex];
    std::sort(merged.begin(), merged.end(),
              [](const BreakRecord &a, const BreakRecord &b) { return a.line < b.line; });
    qsizetype next = 0;
    const QString roles = readingText(reading);
    qint64 reported = 0;
    const auto reportForeignBefore = [&](qint64 line) {
        for (; next < foreign.size() && foreign.at(next).line <= line; ++next, ++reported) {
            const ForeignRecord &record = foreign.at(next);
            findings.add(Kind::HistorySymbol, record.line,
                         tr("the symbol %1 is none of the history symbols: %2.")
                             .arg(quotedInFinding(record.text), roles),
                         record.column);
        }
    };
    for (const BreakRecord &record : std::as_const(merged)) {
        reportForeignBefore(record.line - 1);
        QString message;
        switch (record.reason) {
        case Break::NotASymbol:
            message = tr("the symbol %1 is none of the history symbols: %2.")
                          .arg(symbolText(record.id), roles);
            break;
        case Break::ReleaseSymbol:
            message = tr("every history begins with the initial release, %1, but this one "
                         "begins with %2.")
                          .arg(symbolText(reading.x), symbolText(record.id));
            break;
        case Break::CensoredLast:
            message = tr("%1 marks a censored detection, but the last occasion is never "
                         "censored.")
                          .arg(symbolText(record.id));
            break;
        case Break::AfterCensoring:
            message = tr("after the censored detection in column %1, every occasion is %2 "
                         "(not detected), not %3.")
                          .arg(record.censoredColumn)
                          .arg(symbolText(reading.y), symbolText(record.id));
            break;
        }
        findings.add(Kind::HistorySymbol, record.line, message, record.column);
        ++reported;
    }
    reportForeignBefore(std::numeric_limits<qint64>::max());
    const qint64 breaking = qint64(indexedRows - costOf(reading).fitting);
    if (breaking > reported) {
        const qint64 after = std::max(merged.isEmpty() ? 0 : merged.constLast().line,
                                      foreign.isEmpty() ? 0 : foreign.constLast().line);
        findings.addUnlisted(Kind::HistorySymbol, breaking - reported, after + 1);
    }
}

void HistoryCheck::reportRepeats(const Reading &reading) {
    const Tables &t = tables();
    const int pair = t.pairOf[reading.y][reading.x];
    const int detectedBucket = reading.x == t.high[pair] ? 1 : 0;
    QList<RepeatRecord> merged;
    quint64 total = 0;
    const auto take = [&](const MapState &state, int buckets) {
        for (int bucket = 0; bucket < buckets; ++bucket) {
            if (!reading.release || bucket == detectedBucket) {
                merged += state.repeats[bucket];
                total += state.rows[bucket] - state.distinct[bucket];
            }
        }
    };
    take(states[pair], 2);
    if (reading.censoring)
        take(states[t.censoredMapOf[reading.z][reading.y][reading.x]], 3);
    std::sort(merged.begin(), merged.end(),
              [](const RepeatRecord &a, const RepeatRecord &b) { return a.line < b.line; });
    for (const RepeatRecord &record : std::as_const(merged)) {
        std::array<quint8, StoredColumns> row{};
        for (int i = 0; i < columns; ++i)
            row[i] = quint8(record.key.at(i, columns));
        HistoryRuns::Place first;
        const bool known = whereIs(row.data(), record.line, first) == HistoryRuns::Found::Yes;
        findings.add(Kind::HistoryTwice, record.line,
                     (known ? tr("the history %1 is listed again; it first appears on line %2.")
                                  .arg(rowText(row.data()))
                                  .arg(first.line)
                            : tr("the history %1 is listed again; it first appears on an "
                                 "earlier line.")
                                  .arg(rowText(row.data()))),
                     record.column);
    }
    if (total > quint64(merged.size())) {
        findings.addUnlisted(Kind::HistoryTwice, qint64(total - quint64(merged.size())),
                             merged.constLast().line + 1);
    }
}

void HistoryCheck::reportMissing(const Reading &reading, const Cost &cost, qint64 likelihoodLine) {
    const int occasions = columns - (reading.release ? 1 : 0);
    const std::optional<quint64> first = firstMissing(reading);
    QString message = tr("%1 of the %2 histories of %3 occasions are missing")
                          .arg(cost.expected - cost.distinct)
                          .arg(cost.expected)
                          .arg(occasions);
    qint64 line = likelihoodLine;
    qint64 column = 0;
    if (first) {
        HistoryRuns::Place after;
        HistoryRuns::Place before;
        const QString afterText = *first > 0 ? placeText(reading, *first - 1, &after) : QString();
        const std::optional<quint64> next = nextPresent(reading, *first);
        const QString beforeText = next ? placeText(reading, *next, &before) : QString();
        QString where;
        if (!afterText.isEmpty() && !beforeText.isEmpty())
            where = tr("after %1 and before %2").arg(afterText, beforeText);
        else if (!beforeText.isEmpty())
            where = tr("first, before %1").arg(beforeText);
        else if (!afterText.isEmpty())
            where = tr("last, after %1").arg(afterText);
        message += tr("; the first, in the order in which they are written, is %1, which "
                      "belongs %2")
                       .arg(historyText(reading, *first), where);
        if (before.line > 0) {
            line = before.line;
            column = before.column;
        } else if (after.line > 0) {
            line = after.line;
            column = after.column;
        }
    }
    message += QStringLiteral(". ") + tr("The rows read as %1.").arg(readingText(reading));
    findings.add(Kind::HistoryMissing, line, message, column);
}

// Whether the line map of the reading's order follows its roles: the roles by first
// appearance, or without censoring also with the two symbols swapped.
bool HistoryCheck::hasLineMapRoles(const Reading &reading) const {
    if (reading.censoring)
        return reading.y == y0 && reading.x == x0 && reading.z == z0;
    return (reading.y == y0 && reading.x == x0) || (reading.y == x0 && reading.x == y0);
}

// The place of a row among the reading's histories.
quint64 HistoryCheck::placeOf(const Reading &reading, const HistoryKey &key) const {
    std::array<quint8, StoredColumns> digits{};
    const int skip = reading.release ? 1 : 0;
    for (int i = skip; i < columns; ++i) {
        const int id = key.at(i, columns);
        digits[i - skip] = quint8(id == reading.y ? 0 : id == reading.x ? 1 : 2);
    }
    return HistorySet::rank(digits.data(), columns - skip, reading.censoring);
}

// After the maps were dropped: complete if the rows run through every history in order.
void HistoryCheck::reportInOrder(qint64 likelihoodLine) {
    struct Candidate {
        const Reading *reading;
        HistoryRuns::Ends ends;
        quint64 firstPlace;
        quint64 lastPlace;
    };
    std::optional<Candidate> shown;
    for (const Reading &reading : tables().readings) {
        const HistoryRuns &runs = reading.censoring ? censoredRuns : binaryRuns;
        if (!available(reading) || !hasLineMapRoles(reading) || !runs.isOneRun()
            || (reading.release && firstSymbols != (1 << reading.x)))
            continue;
        const HistoryRuns::Ends ends = runs.onlyRun();
        const Candidate candidate{&reading, ends, placeOf(reading, ends.first),
                                  placeOf(reading, ends.last)};
        const quint64 expected =
            HistorySet::count(columns - (reading.release ? 1 : 0), reading.censoring);
        const quint64 low = std::min(candidate.firstPlace, candidate.lastPlace);
        const quint64 high = std::max(candidate.firstPlace, candidate.lastPlace);
        if (ends.count == expected && low == 0 && high == expected - 1)
            return;
        if (!shown)
            shown = candidate;
    }
    if (!shown) {
        findings.add(Kind::HistoryMissing, likelihoodLine,
                     tr("the histories are not a complete set for any reading of their "
                        "symbols."));
        return;
    }
    const Reading &reading = *shown->reading;
    const quint64 expected =
        HistorySet::count(columns - (reading.release ? 1 : 0), reading.censoring);
    const bool ascending = shown->lastPlace >= shown->firstPlace;
    const quint64 low = std::min(shown->firstPlace, shown->lastPlace);
    const quint64 missingPlace = low > 0 ? 0 : std::max(shown->firstPlace, shown->lastPlace) + 1;
    const bool beforeFirst = (missingPlace == 0) == ascending;
    const qint64 line = beforeFirst ? shown->ends.firstLine : shown->ends.lastLine;
    findings.add(Kind::HistoryMissing, line,
                 tr("%1 of the %2 histories of %3 occasions are missing; the rows from line "
                    "%4 to line %5 run through the others in order, but not through %6, which "
                    "belongs %7 them. The rows read as %8.")
                     .arg(expected - shown->ends.count)
                     .arg(expected)
                     .arg(columns - (reading.release ? 1 : 0))
                     .arg(shown->ends.firstLine)
                     .arg(shown->ends.lastLine)
                     .arg(historyText(reading, missingPlace),
                          beforeFirst ? tr("before") : tr("after"), readingText(reading)));
}

std::optional<quint64> HistoryCheck::firstMissing(const Reading &reading) const {
    const int occasions = columns - (reading.release ? 1 : 0);
    std::optional<quint64> first;
    for (const Stretch &s : stretchesOf(reading, columns)) {
        const HistoryMap &map = maps[s.map];
        const quint64 end = s.start + s.length;
        const quint64 found =
            s.upward ? map.findFirst(false, s.start, end) : map.findLast(false, s.start, end);
        if (found == end)
            continue;
        const quint64 v = s.upward ? found - s.start : end - 1 - found;
        const quint64 place = placeInStretch(s, v, occasions, reading.censoring);
        if (!first || place < *first)
            first = place;
    }
    return first;
}

std::optional<quint64> HistoryCheck::nextPresent(const Reading &reading, quint64 after) const {
    const int occasions = columns - (reading.release ? 1 : 0);
    std::optional<quint64> next;
    for (const Stretch &s : stretchesOf(reading, columns)) {
        // The first v whose place comes after `after`: places grow with v.
        quint64 low = 0;
        quint64 high = s.length;
        while (low < high) {
            const quint64 middle = low + (high - low) / 2;
            if (placeInStretch(s, middle, occasions, reading.censoring) > after)
                high = middle;
            else
                low = middle + 1;
        }
        if (low == s.length)
            continue;
        const HistoryMap &map = maps[s.map];
        const quint64 end = s.start + s.length;
        quint64 v = 0;
        if (s.upward) {
            const quint64 found = map.findFirst(true, s.start + low, end);
            if (found == end)
                continue;
            v = found - s.start;
        } else {
            const quint64 top = end - 1 - low;
            const quint64 found = map.findLast(true, s.start, top + 1);
            if (found == top + 1)
                continue;
            v = end - 1 - found;
        }
        const quint64 place = placeInStretch(s, v, occasions, reading.censoring);
        if (!next || place < *next)
            next = place;
    }
    return next;
}

// The ids of a row that holds the history with these digits under the reading.
void HistoryCheck::idsOf(const Reading &reading, const quint8 *digits, quint8 *row) const {
    int column = 0;
    if (reading.release)
        row[column++] = reading.x;
    for (int i = 0; column < columns; ++i, ++column)
        row[column] = digits[i] == 0 ? reading.y : digits[i] == 1 ? reading.x : reading.z;
}

HistoryKey HistoryCheck::keyOf(const quint8 *row) const {
    HistoryKey key;
    for (int i = 0; i < columns; ++i)
        key = key.appended(row[i]);
    return key;
}

HistoryRuns::Found HistoryCheck::whereIs(const quint8 *row, qint64 beforeLine,
                                         HistoryRuns::Place &place) const {
    const HistoryKey key = keyOf(row);
    const HistoryRuns::Found binary =
        binaryRuns.find(key, placeInOrder(Order::Binary, row), beforeLine, place);
    if (binary == HistoryRuns::Found::Yes)
        return binary;
    const HistoryRuns::Found censored =
        censoredRuns.find(key, placeInOrder(Order::Censored, row), beforeLine, place);
    if (censored == HistoryRuns::Found::Yes)
        return censored;
    return binary == HistoryRuns::Found::No || censored == HistoryRuns::Found::No
               ? HistoryRuns::Found::No
               : HistoryRuns::Found::Unknown;
}

// ---- Texts -------------------------------------------------------------------------------

QString HistoryCheck::symbolText(int id) const {
    return quotedInFinding(shownTexts.value(id));
}

QString HistoryCheck::rowText(const quint8 *row) const {
    QString text;
    for (int i = 0; i < columns && text.size() <= LongestShownHistory; ++i) {
        if (i > 0)
            text += u' ';
        text += shownTexts.value(row[i]);
    }
    return quotedInFinding(text);
}

QString HistoryCheck::historyText(const Reading &reading, quint64 rank) const {
    std::array<quint8, StoredColumns> digits{};
    std::array<quint8, StoredColumns> row{};
    HistorySet::unrank(rank, columns - (reading.release ? 1 : 0), reading.censoring, digits.data());
    idsOf(reading, digits.data(), row.data());
    return rowText(row.data());
}

// A history and its line, where known.
QString HistoryCheck::placeText(const Reading &reading, quint64 rank,
                                HistoryRuns::Place *place) const {
    std::array<quint8, StoredColumns> digits{};
    std::array<quint8, StoredColumns> row{};
    HistorySet::unrank(rank, columns - (reading.release ? 1 : 0), reading.censoring, digits.data());
    idsOf(reading, digits.data(), row.data());
    if (whereIs(row.data(), std::numeric_limits<qint64>::max(), *place) == HistoryRuns::Found::Yes)
        return tr("%1 (line %2)").arg(rowText(row.data())).arg(place->line);
    *place = {};
    return tr("%1 (on a line the check did not keep)").arg(rowText(row.data()));
}

QString HistoryCheck::readingText(const Reading &reading) const {
    QString roles = reading.censoring ? tr("%1 not detected, %2 detected and %3 censored")
                                            .arg(symbolText(reading.y), symbolText(reading.x),
                                                 symbolText(reading.z))
                                      : tr("%1 not detected and %2 detected")
                                            .arg(symbolText(reading.y), symbolText(reading.x));
    if (reading.release)
        roles += u' ' + tr("(after the initial release)");
    return roles;
}
