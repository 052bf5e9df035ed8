// SPDX-License-Identifier: GPL-3.0-or-later
// HistoryCheck, row by row: ids, shapes, the maps, the breaks and the line maps. The
// verdict at the end is in historyverdict.cpp.
#include "historycheck.h"

#include "findings.h"

#include <algorithm>

namespace {

using CheckText::tr;

using Kind = ModelCheckFinding::Kind;
using namespace HistoryReadings;

constexpr int ForeignBit = 1 << Foreign;

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
    if ((before & (1 << z)) || qPopulationCount(quint64(others)) > 1)
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
