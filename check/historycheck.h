// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "historymap.h"
#include "historyreadings.h"
#include "historyruns.h"
#include "historyset.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class Findings;

// The rows of the likelihood are exactly the complete set of histories for some number of
// occasions, each once: 2^N rows, or 3 * 2^(N-1) - 1 with censoring, in any order, with or
// without a first column for the initial release.
//
// Which symbol is "not detected", "detected" or "censored" is not known up front: the check
// finds it from the rows. Every reading of the symbols (HistoryReadings: which text plays which
// role, whether there is censoring and a release column) is tried at once. Each row is
// classified by its shape, which does not depend on the reading:
//
//   - a row of at most two symbols is a history without censoring for both symbols' readings;
//     it goes into the map of that pair of symbols, as a binary number;
//   - a row whose last symbol w is repeated back to a symbol z that comes only once, with at
//     most one other symbol x before it, is a history censored by z for the readings with w
//     not detected and x detected; it goes into the map of (z, w, x), numbered by where z
//     stands and the binary number before it.
//
// A map is a bitmap (HistoryMap): a history seen again is a repeat, exactly, at any distance.
// Counters per map and per first symbol give, at the end, for every reading, how many rows
// fit it, how many distinct histories they are and how many are missing. The reading with
// the fewest rows that break it, repeats and missing histories is the one reported; a file is
// complete when one reading has none. The symbols that break it, the repeats and the first
// missing history are told with their lines.
//
// Four symbol texts get an id, so that a typo among the first rows still leaves the three real
// symbols their ids; a fifth text breaks every reading. A row of more than 62 symbols cannot be
// complete (2^62 rows fill no disk) and is reported as such.
//
// The maps take at most the memory budget given. A file whose maps would take more (at least
// 2^26 histories, dozens of GB) is checked in the writer's order only: the line map (runs)
// already tells whether every row so far follows the one before; the maps are dropped and each
// further row must follow too, else the check stops with a finding at that row.
//
// The rows are read in historycheck.cpp; the verdict at the end is made in historyverdict.cpp.
class HistoryCheck {
public:
    HistoryCheck(Findings &findings, qsizetype mapBytes);
    ~HistoryCheck();

    // A row: its first `keptSymbols` symbols are those of the row before.
    void beginRow(qint64 line, qint64 column, qsizetype keptSymbols);
    void addSymbol(QByteArrayView text, qint64 column);
    void endRow();
    // After the last row; `complete` when the file was read to its end, else only what the
    // rows read so far tell.
    void finish(qint64 likelihoodLine, bool complete = true);

    HistoryCheck(const HistoryCheck &) = delete;
    HistoryCheck &operator=(const HistoryCheck &) = delete;

    static constexpr int Symbols = HistoryReadings::Symbols;
    static constexpr int Foreign = HistoryReadings::Foreign;
    static constexpr int Pairs = HistoryReadings::Pairs;
    static constexpr int Maps = HistoryReadings::Maps;
    static constexpr int Readings = HistoryReadings::Readings;
    static constexpr int StoredColumns = 64;
    static constexpr int Kept = 11; // records of each kind: the ten listed and the next

    using Reading = HistoryReadings::Reading;
    using ReadingSet = HistoryReadings::ReadingSet;

private:
    // Why a row does not fit a reading.
    enum class Break : quint8 {
        NotASymbol,
        ReleaseSymbol,
        CensoredLast,
        AfterCensoring,
    };
    struct BreakRecord {
        qint64 line;
        qint64 column;
        Break reason;
        quint8 id;
        qint64 censoredColumn; // AfterCensoring: where the censored detection stands
    };
    struct ForeignRecord {
        qint64 line;
        qint64 column;
        QString text;
    };
    struct LengthRecord {
        qint64 line;
        qint64 column;
        qsizetype symbols;
    };
    struct RepeatRecord {
        qint64 line;
        qint64 column;
        HistoryKey key;
    };
    struct MapState {
        std::array<quint64, 3> rows{};     // by bucket (first symbol; censored maps:
        std::array<quint64, 3> distinct{}; // 0/1 its bit, 2 censored at the first occasion)
        std::array<QList<RepeatRecord>, 3> repeats;
    };
    // The shape of the row just read.
    struct Shape {
        quint8 idSet = 0; // bit per id, bit 4 for a foreign text
        bool censored = false;
        int censoredAt = 0; // 1-based column of z
        int z = 0;
        int w = 0;
        std::array<int, 2> xs{};
        int xCount = 0;
    };
    enum class Mode { Mapping, InOrder, Stopped };
    enum class Order { Binary, Censored }; // the two line maps

    int idOf(QByteArrayView text);
    void takeFirstRow();
    void recordLength();
    bool reportLengths();
    void updatePrefixes();
    Shape classify() const;
    void updateRoles(const Shape &shape);
    void map(const Shape &shape);
    void insert(int map, quint64 number, int bucket);
    void recordBreaks(const Shape &shape);
    ReadingSet validReadings(const Shape &shape) const;
    BreakRecord breakOf(const Reading &reading) const;
    void addToRuns(const Shape &shape);
    void goInOrder();
    void followOrder();
    void stop(qint64 line, const QString &message);

    // The line maps' orders: roles by first appearance (y0 the first row's last symbol, x0 the
    // next one in the last column, z0 the first that censors).
    std::optional<quint64> placeInOrder(Order order, const quint8 *ids) const;
    std::optional<quint64> rowPlace(Order order, const Shape &shape) const;

    // The end.
    struct Cost {
        quint64 fitting = 0;
        quint64 distinct = 0;
        quint64 expected = 0;
        quint64 total() const;
    };
    bool available(const Reading &reading) const;
    Cost costOf(const Reading &reading) const;
    int bestReading() const;
    void reportBreaks(int readingIndex);
    void reportRepeats(const Reading &reading);
    void reportMissing(const Reading &reading, const Cost &cost, qint64 likelihoodLine);
    void reportInOrder(qint64 likelihoodLine);
    bool hasLineMapRoles(const Reading &reading) const;
    quint64 placeOf(const Reading &reading, const HistoryKey &key) const;
    std::optional<quint64> firstMissing(const Reading &reading) const;
    std::optional<quint64> nextPresent(const Reading &reading, quint64 after) const;
    void idsOf(const Reading &reading, const quint8 *digits, quint8 *ids) const;
    HistoryKey keyOf(const quint8 *ids) const;
    HistoryRuns::Found whereIs(const quint8 *ids, qint64 beforeLine,
                               HistoryRuns::Place &place) const;
    QString historyText(const Reading &reading, quint64 rank) const;
    QString rowText(const quint8 *ids) const;
    QString symbolText(int id) const;
    QString readingText(const Reading &reading) const;
    QString placeText(const Reading &reading, quint64 rank, HistoryRuns::Place *place) const;

    Findings &findings;
    QList<QByteArray> texts; // by id
    QList<QString> shownTexts;

    // The row being read.
    qint64 rowLine = 0;
    qint64 rowColumn = 0;
    qsizetype symbolCount = 0;
    std::array<quint8, StoredColumns> ids{};
    std::array<qint64, StoredColumns> columnOffsets{}; // from the row's first column
    QList<QString> foreignTexts;                       // by column, where foreign

    // By column count, from the first column: what the first columns of the row hold.
    int validPrefixes = 0;
    std::array<std::array<quint64, StoredColumns + 1>, Pairs> pairBits{};
    std::array<quint8, StoredColumns + 1> idSets{};
    std::array<HistoryKey, StoredColumns + 1> keys{};

    int columns = -1; // of the first row
    qint64 firstLine = 0;
    qint64 firstColumn = 0;
    // Rows by length, the first row's and the most common other, to tell at the end whether
    // the first row is the odd one.
    quint64 rowsOfFirstLength = 0;
    QHash<qsizetype, quint64> rowsOfOtherLengths; // a few lengths at most
    QList<LengthRecord> lengths;                  // the first rows of another length
    quint64 otherLengthRows = 0;

    bool tooLong = false;
    int y0 = -1;
    int x0 = -1;
    int z0 = -1;

    Mode mode = Mode::Mapping;
    HistoryMap::Budget budget;
    QList<HistoryMap> maps;
    std::array<MapState, Maps> states;
    quint64 indexedRows = 0;
    quint64 foreignRows = 0;
    quint8 firstSymbols = 0; // the ids in the first column, as bits
    ReadingSet recording;
    std::array<QList<BreakRecord>, Readings> breaks;
    QList<ForeignRecord> foreign;

    HistoryRuns binaryRuns;
    HistoryRuns censoredRuns;
    Order inOrder = Order::Binary; // the order followed once the maps are dropped
};
