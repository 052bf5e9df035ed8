// SPDX-License-Identifier: GPL-3.0-or-later
#include "historycheck.h"

#include "findings.h"

#include <QCoreApplication>
#include <QtAlgorithms>

#include <algorithm>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionCheck", text);
}

using Kind = ModelCheckFinding::Kind;
using Reading = HistoryCheck::Reading;
using ReadingSet = HistoryCheck::ReadingSet;

constexpr int Symbols = HistoryCheck::Symbols;
constexpr int ForeignBit = 1 << HistoryCheck::Foreign;
constexpr qsizetype LongestShownHistory = 60; // characters, as quotedInFinding() cuts

// Which ids make which pair, which map holds which censored shape, and which readings a shape
// fits: fixed, so made once.
struct Tables {
    std::array<Reading, HistoryCheck::Readings> readings{};
    std::array<std::array<int, Symbols>, Symbols> pairOf{};
    std::array<int, HistoryCheck::Pairs> low{};
    std::array<int, HistoryCheck::Pairs> high{};
    std::array<std::array<std::array<int, Symbols>, Symbols>, Symbols> censoredMapOf{};
    std::array<ReadingSet, 32> binaryFits{}; // by the set of ids in the row
    std::array<std::array<std::array<ReadingSet, Symbols>, Symbols>, Symbols> censoredFits{};
    std::array<ReadingSet, Symbols + 1> firstFits{}; // by the id of the first symbol

    Tables() {
        int pair = 0;
        for (int a = 0; a < Symbols; ++a) {
            pairOf[a][a] = -1;
            for (int b = a + 1; b < Symbols; ++b) {
                pairOf[a][b] = pairOf[b][a] = pair;
                low[pair] = a;
                high[pair] = b;
                ++pair;
            }
        }
        int map = HistoryCheck::Pairs;
        for (int z = 0; z < Symbols; ++z) {
            for (int w = 0; w < Symbols; ++w) {
                for (int x = 0; x < Symbols; ++x) {
                    const bool distinct = z != w && z != x && w != x;
                    censoredMapOf[z][w][x] = distinct ? map++ : -1;
                }
            }
        }
        int index = 0;
        for (const bool release : {false, true}) {
            for (const bool censoring : {false, true}) {
                for (int y = 0; y < Symbols; ++y) {
                    for (int x = 0; x < Symbols; ++x) {
                        for (int z = 0; z < Symbols; ++z) {
                            if (x == y || (censoring ? (z == x || z == y) : z != 0))
                                continue;
                            readings[index] = {release, censoring, quint8(y), quint8(x),
                                               quint8(censoring ? z : 0)};
                            addFits(index++);
                        }
                    }
                }
            }
        }
        Q_ASSERT(index == HistoryCheck::Readings);
    }

    void addFits(int index) {
        const Reading &r = readings[index];
        const int roles = (1 << r.y) | (1 << r.x);
        for (int set = 1; set < 32; ++set) {
            if ((set & ~roles) == 0)
                binaryFits[set].set(index);
        }
        if (r.censoring)
            censoredFits[r.z][r.y][r.x].set(index);
        for (int id = 0; id <= Symbols; ++id) {
            if (!r.release || id == r.x)
                firstFits[id].set(index);
        }
    }
};

// Made at start-up: the tables are asked for in every row, without a guard then.
const Tables tableSet;

const Tables &tables() {
    return tableSet;
}

int popcount(quint64 bits) {
    return qPopulationCount(bits);
}

quint64 ones(int count) {
    return count >= 64 ? ~quint64(0) : (quint64(1) << count) - 1;
}

// The place among the histories of N occasions with censoring of a binary one, whose digits
// read as the number v: each digit 1 before the last occasion passes count(N - i) histories,
// 3 * 2^(N-i-1) - 1, the last digit one.
quint64 binaryPlaceWithCensoring(quint64 v) {
    return 3 * (v >> 1) - quint64(popcount(v >> 1)) + (v & 1);
}

// And of one censored at occasion k (from 1) after the digits that read as u.
quint64 censoredPlace(quint64 u, int k, int occasions) {
    return 3 * (u << (occasions - k)) - quint64(popcount(u))
           + 2 * HistorySet::count(occasions - k, true);
}

} // namespace

// ---- Reading the rows --------------------------------------------------------------------

HistoryCheck::HistoryCheck(Findings &findings, qsizetype mapBytes)
    : findings(findings)
    , foreignTexts(StoredColumns)
    , budget{mapBytes / (HistoryMap::PageBits / 8)} {
    maps.reserve(Maps);
    for (int map = 0; map < Maps; ++map)
        maps.append(HistoryMap(budget));
    recording.set();
}

HistoryCheck::~HistoryCheck() = default;

void HistoryCheck::beginRow(qint64 line, qint64 column, qsizetype keptSymbols) {
    rowLine = line;
    rowColumn = column;
    symbolCount = keptSymbols;
    validPrefixes = int(std::min<qsizetype>(validPrefixes, keptSymbols));
}

void HistoryCheck::addSymbol(QByteArrayView text, qint64 column) {
    const qsizetype index = symbolCount++;
    if (index >= StoredColumns)
        return;
    const int id = idOf(text);
    ids[index] = quint8(id);
    columnOffsets[index] = column - rowColumn;
    if (id == Foreign)
        foreignTexts[index] = QString::fromUtf8(text.first(std::min<qsizetype>(text.size(), 256)));
}

int HistoryCheck::idOf(QByteArrayView text) {
    for (qsizetype id = 0; id < texts.size(); ++id) {
        if (texts.at(id) == text)
            return int(id);
    }
    if (texts.size() == Symbols)
        return Foreign;
    texts.append(text.toByteArray());
    shownTexts.append(QString::fromUtf8(text.first(std::min<qsizetype>(text.size(), 256))));
    return int(texts.size() - 1);
}

void HistoryCheck::endRow() {
    if (columns < 0)
        takeFirstRow();
    if (symbolCount != columns) {
        recordLength();
        if (mode == Mode::InOrder)
            mode = Mode::Stopped; // unsound already; the order cannot be followed on
        return;
    }
    ++rowsOfFirstLength;
    if (tooLong || mode == Mode::Stopped)
        return;
    updatePrefixes();
    const Shape shape = classify();
    ++indexedRows;
    firstSymbols |= quint8(1 << ids[0]);
    updateRoles(shape);
    if (mode == Mode::Mapping)
        map(shape);
    if (mode == Mode::Mapping)
        recordBreaks(shape);
    addToRuns(shape);
    if (mode == Mode::InOrder)
        followOrder();
}

// The first row sets the number of symbols, and the symbol of "not detected" for the line maps:
// the writer's first history is all not detected.
void HistoryCheck::takeFirstRow() {
    columns = int(symbolCount);
    firstLine = rowLine;
    firstColumn = rowColumn;
    if (columns > HistorySet::MaxOccasions) {
        tooLong = true;
        findings.add(Kind::HistoryMissing, rowLine,
                     tr("this history has %1 symbols: a complete set of histories of so many "
                        "occasions has at least 2^%2 rows, far more than a file can hold.")
                         .arg(columns)
                         .arg(columns - 1),
                     rowColumn);
        return;
    }
    y0 = ids[columns - 1] < Symbols ? ids[columns - 1] : -1;
}

void HistoryCheck::recordLength() {
    ++otherLengthRows;
    if (rowsOfOtherLengths.size() < 16 || rowsOfOtherLengths.contains(symbolCount))
        ++rowsOfOtherLengths[symbolCount];
    if (lengths.size() < Kept)
        lengths.append({rowLine, rowColumn, symbolCount});
}

// The rows of another length than the first. When most of them agree on another length, the
// first row is the one to look at, and is told first; true then.
bool HistoryCheck::reportLengths() {
    qsizetype common = 0;
    quint64 most = 0;
    for (auto it = rowsOfOtherLengths.cbegin(); it != rowsOfOtherLengths.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            common = it.key();
        }
    }
    const bool firstIsOdd = most > rowsOfFirstLength;
    if (firstIsOdd) {
        findings.add(Kind::HistoryLength, firstLine,
                     tr("this history, the first, has %1 symbols, but %2 of the others have "
                        "%3: it is likely the odd one.")
                         .arg(columns)
                         .arg(most)
                         .arg(common),
                     firstColumn);
    }
    for (const LengthRecord &record : std::as_const(lengths)) {
        findings.add(Kind::HistoryLength, record.line,
                     tr("this history has %1 symbols, but the first history, on line %2, "
                        "has %3.")
                         .arg(record.symbols)
                         .arg(firstLine)
                         .arg(columns),
                     record.column);
    }
    if (otherLengthRows > quint64(lengths.size())) {
        findings.addUnlisted(Kind::HistoryLength, qint64(otherLengthRows - lengths.size()),
                             lengths.constLast().line + 1);
    }
    lengths.clear();
    otherLengthRows = 0;
    return firstIsOdd;
}

// The columns after those kept from the row before.
void HistoryCheck::updatePrefixes() {
    const Tables &t = tables();
    for (int i = validPrefixes; i < columns; ++i) {
        const int id = ids[i];
        for (int pair = 0; pair < Pairs; ++pair)
            pairBits[pair][i + 1] = (pairBits[pair][i] << 1) | quint64(id == t.high[pair]);
        idSets[i + 1] = quint8(idSets[i] | (1 << id));
        keys[i + 1] = keys[i].appended(id);
    }
    validPrefixes = columns;
}

HistoryCheck::Shape HistoryCheck::classify() const {
    Shape shape;
    shape.idSet = idSets[columns];
    if (shape.idSet & ForeignBit)
        return shape;
    const int w = ids[columns - 1];
    int j = columns - 2;
    while (j >= 0 && ids[j] == w)
        --j;
    if (j < 0)
        return shape;
    const int z = ids[j];
    const int before = idSets[j];
    const int others = before & ~(1 << w);
    if ((before & (1 << z)) || popcount(quint64(others)) > 1)
        return shape;
    shape.censored = true;
    shape.censoredAt = j + 1;
    shape.z = z;
    shape.w = w;
    if (others) {
        shape.xs[0] = qCountTrailingZeroBits(quint32(others));
        shape.xCount = 1;
    } else {
        for (int x = 0; x < Symbols; ++x) {
            if (x != z && x != w)
                shape.xs[shape.xCount++] = x;
        }
    }
    return shape;
}

// The roles for the line maps, by first appearance: "detected" is the first symbol after
// "not detected" in the last column, "censored" the first symbol that censors a history.
void HistoryCheck::updateRoles(const Shape &shape) {
    if (y0 < 0)
        return;
    if (x0 < 0) {
        const int last = ids[columns - 1];
        if (last >= Symbols || last == y0)
            return;
        x0 = last;
        const auto placeOf = [this](Order order) {
            return [this, order](const HistoryKey &key) {
                std::array<quint8, StoredColumns> row{};
                for (int i = 0; i < columns; ++i)
                    row[i] = quint8(key.at(i, columns));
                return placeInOrder(order, row.data());
            };
        };
        binaryRuns.placeLast(placeOf(Order::Binary));
        censoredRuns.placeLast(placeOf(Order::Censored));
    }
    const bool detectedBefore = std::find(shape.xs.begin(), shape.xs.begin() + shape.xCount, x0)
                                != shape.xs.begin() + shape.xCount;
    if (z0 < 0 && shape.censored && shape.w == y0 && shape.z != x0 && detectedBefore)
        z0 = shape.z;
}

void HistoryCheck::map(const Shape &shape) {
    if (shape.idSet & ForeignBit)
        return;
    const Tables &t = tables();
    for (int pair = 0; pair < Pairs && mode == Mode::Mapping; ++pair) {
        const int set = (1 << t.low[pair]) | (1 << t.high[pair]);
        if ((shape.idSet & ~set) == 0) // a row of one symbol is in each of its pairs' maps
            insert(pair, pairBits[pair][columns], ids[0] == t.high[pair]);
    }
    if (!shape.censored)
        return;
    const int k = shape.censoredAt;
    for (int i = 0; i < shape.xCount && mode == Mode::Mapping; ++i) {
        const int x = shape.xs[i];
        const int pair = t.pairOf[shape.w][x];
        const quint64 number = ones(k - 1) + pairBits[pair][k - 1];
        insert(t.censoredMapOf[shape.z][shape.w][x], number,
               k == 1 ? 2 : int(ids[0] == t.high[pair]));
    }
}

void HistoryCheck::insert(int map, quint64 number, int bucket) {
    const HistoryMap::Insertion insertion = maps[map].insert(number);
    if (insertion == HistoryMap::Insertion::NoRoom) {
        goInOrder();
        return;
    }
    MapState &state = states[map];
    ++state.rows[bucket];
    if (insertion == HistoryMap::Insertion::New)
        ++state.distinct[bucket];
    else if (state.repeats[bucket].size() < Kept)
        state.repeats[bucket].append({rowLine, rowColumn, keys[columns]});
}

HistoryCheck::ReadingSet HistoryCheck::validReadings(const Shape &shape) const {
    const Tables &t = tables();
    if (shape.idSet & ForeignBit)
        return {};
    ReadingSet valid = t.binaryFits[shape.idSet];
    for (int i = 0; shape.censored && i < shape.xCount; ++i)
        valid |= t.censoredFits[shape.z][shape.w][shape.xs[i]];
    return valid & t.firstFits[ids[0]];
}

// Where the row breaks each reading it does not fit, while each keeps its first few.
void HistoryCheck::recordBreaks(const Shape &shape) {
    if (shape.idSet & ForeignBit) {
        ++foreignRows;
        if (foreign.size() < Kept) {
            int j = 0;
            while (ids[j] != Foreign)
                ++j;
            foreign.append({rowLine, rowColumn + columnOffsets[j], foreignTexts.at(j)});
        }
        return;
    }
    const ReadingSet pending = recording & ~validReadings(shape);
    if (pending.none())
        return;
    for (int r = 0; r < Readings; ++r) {
        if (!pending.test(r))
            continue;
        breaks[r].append(breakOf(tables().readings[r]));
        if (breaks[r].size() == Kept)
            recording.reset(r);
    }
}

// The first symbol of the row that the reading does not allow where it stands.
HistoryCheck::BreakRecord HistoryCheck::breakOf(const Reading &reading) const {
    const auto at = [this](int column, Break reason, int censoredAt = 0) {
        return BreakRecord{rowLine, rowColumn + columnOffsets[column], reason, ids[column],
                           rowColumn + columnOffsets[censoredAt]};
    };
    int first = 0;
    if (reading.release) {
        if (ids[0] != reading.x)
            return at(0, Break::ReleaseSymbol);
        first = 1;
    }
    int censoredAt = -1;
    for (int j = first; j < columns; ++j) {
        const int id = ids[j];
        if (censoredAt >= 0) {
            if (id != reading.y)
                return at(j, Break::AfterCensoring, censoredAt);
        } else if (id == reading.y || id == reading.x) {
            continue;
        } else if (reading.censoring && id == reading.z) {
            if (j == columns - 1)
                return at(j, Break::CensoredLast);
            censoredAt = j;
        } else {
            return at(j, Break::NotASymbol);
        }
    }
    Q_ASSERT(false); // the row fits the reading
    return at(0, Break::NotASymbol);
}

// ---- The line maps -----------------------------------------------------------------------

// The place in an order of a row given by its ids, from scratch.
std::optional<quint64> HistoryCheck::placeInOrder(Order order, const quint8 *row) const {
    if (y0 < 0)
        return std::nullopt;
    std::array<quint8, StoredColumns> digits{};
    int censoredAt = -1;
    for (int i = 0; i < columns; ++i) {
        const int id = row[i];
        if (censoredAt >= 0 && id != y0)
            return std::nullopt;
        if (id == y0) {
            digits[i] = 0;
        } else if (id == x0 && x0 >= 0) {
            digits[i] = 1;
        } else if (order == Order::Censored && id == z0 && z0 >= 0 && i < columns - 1) {
            digits[i] = 2;
            censoredAt = i;
        } else {
            return std::nullopt;
        }
    }
    return HistorySet::rank(digits.data(), columns, order == Order::Censored);
}

// The same for the row just read, from its prefixes.
std::optional<quint64> HistoryCheck::rowPlace(Order order, const Shape &shape) const {
    if (y0 < 0 || (shape.idSet & ForeignBit))
        return std::nullopt;
    if (x0 < 0)
        return shape.idSet == (1 << y0) ? std::optional<quint64>(0) : std::nullopt;
    const Tables &t = tables();
    const int pair = t.pairOf[y0][x0];
    const bool detectedHigh = x0 == t.high[pair];
    const auto read = [&](int count) {
        const quint64 bits = pairBits[pair][count];
        return detectedHigh ? bits : ones(count) - bits;
    };
    if ((shape.idSet & ~((1 << y0) | (1 << x0))) == 0) {
        const quint64 v = read(columns);
        return order == Order::Binary ? v : binaryPlaceWithCensoring(v);
    }
    const bool detectedBefore = std::find(shape.xs.begin(), shape.xs.begin() + shape.xCount, x0)
                                != shape.xs.begin() + shape.xCount;
    if (order == Order::Censored && shape.censored && shape.z == z0 && shape.w == y0
        && detectedBefore) {
        const int k = shape.censoredAt;
        return censoredPlace(read(k - 1), k, columns);
    }
    return std::nullopt;
}

void HistoryCheck::addToRuns(const Shape &shape) {
    const bool findable = !(shape.idSet & ForeignBit);
    binaryRuns.add(keys[columns], rowPlace(Order::Binary, shape), findable, rowLine, rowColumn);
    censoredRuns.add(keys[columns], rowPlace(Order::Censored, shape), findable, rowLine, rowColumn);
}

// The maps would take more than the budget: from here on the rows must come in the writer's
// order, which the line maps tell of the rows so far.
void HistoryCheck::goInOrder() {
    for (HistoryMap &map : maps)
        map.clear();
    if (indexedRows > 1 && !binaryRuns.isOneRun() && !censoredRuns.isOneRun()) {
        stop(std::max(binaryRuns.secondRunLine(), censoredRuns.secondRunLine()),
             tr("the histories are not in the order in which they are written from this line "
                "on, and there are too many of them (%1 occasions) to check in another order "
                "within the check's memory.")
                 .arg(columns));
        return;
    }
    mode = Mode::InOrder;
}

void HistoryCheck::followOrder() {
    if (binaryRuns.isOneRun() || censoredRuns.isOneRun())
        return;
    stop(rowLine, tr("this history does not follow the one before it in the order in which "
                     "the histories are written; a file of so many histories (%1 occasions) "
                     "is checked only in that order.")
                      .arg(columns));
}

void HistoryCheck::stop(qint64 line, const QString &message) {
    mode = Mode::Stopped;
    findings.add(Kind::BeyondLimits, line, message);
}

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
        const bool roles = reading.censoring ? reading.y == y0 && reading.x == x0 && reading.z == z0
                                             : ((reading.y == y0 && reading.x == x0)
                                                || (reading.y == x0 && reading.x == y0));
        if (!available(reading) || !roles || !runs.isOneRun()
            || (reading.release && firstSymbols != (1 << reading.x)))
            continue;
        const HistoryRuns::Ends ends = runs.onlyRun();
        const auto placeOf = [&](const HistoryKey &key) {
            std::array<quint8, StoredColumns> digits{};
            const int skip = reading.release ? 1 : 0;
            for (int i = skip; i < columns; ++i) {
                const int id = key.at(i, columns);
                digits[i - skip] = quint8(id == reading.y ? 0 : id == reading.x ? 1 : 2);
            }
            return HistorySet::rank(digits.data(), columns - skip, reading.censoring);
        };
        const Candidate candidate{&reading, ends, placeOf(ends.first), placeOf(ends.last)};
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

// ---- Finding histories in the maps -------------------------------------------------------
//
// Under a reading, the histories without censoring are one stretch of the pair's map, and
// those censored at occasion k one stretch of the censored map each; within a stretch the
// numbers run with the histories' places, upward or (when "detected" is the lower id of the
// pair) downward. So the first missing history, and the next one present, are each found by
// a search of every stretch.

namespace {

struct Stretch {
    int map;
    quint64 start;
    quint64 length;
    bool upward;
    int censoredAt; // 0: not censored
};

} // namespace

static QList<Stretch> stretchesOf(const Reading &reading, int columns) {
    const Tables &t = tables();
    const int pair = t.pairOf[reading.y][reading.x];
    const bool upward = reading.x == t.high[pair];
    const int occasions = columns - (reading.release ? 1 : 0);
    const quint64 releaseBit = upward ? 1 : 0;
    QList<Stretch> stretches;
    stretches.append(
        {pair, reading.release ? releaseBit << occasions : 0, quint64(1) << occasions, upward, 0});
    if (!reading.censoring)
        return stretches;
    const int map = t.censoredMapOf[reading.z][reading.y][reading.x];
    for (int k = 1; k < occasions; ++k) {
        const int column = k + (reading.release ? 1 : 0); // from 1
        const quint64 length = quint64(1) << (k - 1);
        const quint64 start = ones(column - 1) + (reading.release ? releaseBit << (k - 1) : 0);
        stretches.append({map, start, length, upward, k});
    }
    return stretches;
}

static quint64 placeInStretch(const Stretch &stretch, quint64 v, int occasions, bool censoring) {
    if (stretch.censoredAt > 0)
        return censoredPlace(v, stretch.censoredAt, occasions);
    return censoring ? binaryPlaceWithCensoring(v) : v;
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
