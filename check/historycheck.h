// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>

class Findings;

// All histories have as many symbols as the first, and none comes twice.
//
// A history is compared as the ranks of its symbols, each column ranking its symbols in the
// order they first appear there. The writer's histories come in strictly increasing order of
// these ranks (not detected, detected, censored), and in a strictly increasing sequence a
// history that came before is always the one right before: comparing neighbours finds every
// duplicate with the memory of one history. Once a history comes out of order, each history's
// 64-bit fingerprint goes into a set instead. The fingerprints of the first histories are kept
// so that the set then covers them too; a file that is out of order only after the first
// EarlyHistories histories has its duplicates of those earlier ones found by the sum of the
// cells instead, which a repeated history pushes over 1.
class HistoryCheck {
public:
    explicit HistoryCheck(Findings &findings);

    // The first `unchanged` symbols are those of the previous history the reader read.
    void add(const QList<QByteArrayView> &symbols, qsizetype unchanged, qint64 line);

private:
    static constexpr qsizetype EarlyHistories = 65536;
    static constexpr qsizetype ShortColumn = 8; // symbols looked up one by one

    struct Column {
        QList<QByteArray> symbols;     // in the order of first appearance
        QHash<QByteArray, int> rankOf; // once a column has many
    };
    struct Seen {
        quint64 fingerprint;
        qint64 line;
    };

    // Inline: called for every history or symbol; defined in the .cpp, the only place that
    // calls them.
    inline int rankSymbols(const QList<QByteArrayView> &symbols, qsizetype first);
    static inline int rankIn(Column &column, QByteArrayView symbol);
    static int addToColumn(Column &column, QByteArrayView symbol);
    void takeLength(qsizetype symbolCount, qint64 line);
    void reportLength(qsizetype symbolCount, qint64 line);
    void lookUpOutOfOrder(const QList<QByteArrayView> &symbols, int order, qint64 line);
    static inline quint64 fingerprint(const QList<QByteArrayView> &symbols);
    void leaveOrder();
    void forgetEarly();
    void reportTwice(const QList<QByteArrayView> &symbols, qint64 firstSeen, qint64 line);

    Findings &findings;
    qsizetype length = -1;
    qint64 firstLine = 0;
    QList<Column> columns;
    QList<int> ranks; // of the last history of the right length
    qint64 previousLine = 0;
    bool havePrevious = false;
    bool previousReadIsLast = false; // the history before this one had the right length
    bool ordered = true;
    bool earlyCovered = true;
    QList<Seen> early;
    QHash<quint64, qint64> seen;
};
