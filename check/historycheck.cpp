// SPDX-License-Identifier: GPL-3.0-or-later
#include "historycheck.h"

#include "findings.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionCheck", text);
}

using Kind = ModelCheckFinding::Kind;

} // namespace

HistoryCheck::HistoryCheck(Findings &findings)
    : findings(findings) {}

void HistoryCheck::add(const QList<QByteArrayView> &symbols, qsizetype unchanged, qint64 line) {
    if (length < 0)
        takeLength(symbols.size(), line);
    if (symbols.size() != length) {
        reportLength(symbols.size(), line);
        previousReadIsLast = false;
        return;
    }
    const int order = rankSymbols(symbols, previousReadIsLast ? unchanged : 0);
    if (order == 0)
        reportTwice(symbols, previousLine, line);
    else if (order < 0 && ordered)
        leaveOrder();

    if (!ordered) {
        lookUpOutOfOrder(symbols, order, line);
    } else if (order != 0 && earlyCovered) {
        if (early.size() < EarlyHistories)
            early.append({fingerprint(symbols), line});
        else
            forgetEarly();
    }
    previousLine = line;
    havePrevious = true;
    previousReadIsLast = true;
}

// The first history sets the length.
void HistoryCheck::takeLength(qsizetype symbolCount, qint64 line) {
    length = symbolCount;
    firstLine = line;
    columns.resize(length);
    ranks.resize(length);
}

void HistoryCheck::reportLength(qsizetype symbolCount, qint64 line) {
    findings.add(Kind::HistoryLength, line,
                 tr("this history has %1 symbols, but the first history, on line %2, "
                    "has %3.")
                     .arg(symbolCount)
                     .arg(firstLine)
                     .arg(length));
}

// Ranks the symbols from `first` on, the ones before being those of the previous history,
// and tells how the history compares with the previous one: -1, 0 or 1.
int HistoryCheck::rankSymbols(const QList<QByteArrayView> &symbols, qsizetype first) {
    int order = havePrevious ? 0 : 1;
    for (qsizetype i = first; i < length; ++i) {
        const int rank = rankIn(columns[i], symbols.at(i));
        if (order == 0 && rank != ranks.at(i))
            order = rank < ranks.at(i) ? -1 : 1;
        ranks[i] = rank;
    }
    return order;
}

int HistoryCheck::rankIn(Column &column, QByteArrayView symbol) {
    if (column.rankOf.isEmpty()) {
        for (qsizetype rank = 0; rank < column.symbols.size(); ++rank) {
            if (column.symbols.at(rank) == symbol)
                return int(rank);
        }
    } else {
        const auto it = column.rankOf.constFind(symbol.toByteArray());
        if (it != column.rankOf.cend())
            return it.value();
    }
    return addToColumn(column, symbol);
}

// A symbol the column has not had yet gets the next rank.
int HistoryCheck::addToColumn(Column &column, QByteArrayView symbol) {
    const int rank = int(column.symbols.size());
    column.symbols.append(symbol.toByteArray());
    if (!column.rankOf.isEmpty()) {
        column.rankOf.insert(column.symbols.constLast(), rank);
    } else if (column.symbols.size() > ShortColumn) {
        for (int i = 0; i < column.symbols.size(); ++i)
            column.rankOf.insert(column.symbols.at(i), i);
    }
    return rank;
}

// Out of order, a history is looked up by its fingerprint; one that repeats its neighbour
// has been reported already.
void HistoryCheck::lookUpOutOfOrder(const QList<QByteArrayView> &symbols, int order, qint64 line) {
    const quint64 key = fingerprint(symbols);
    const auto it = seen.constFind(key);
    if (it == seen.cend())
        seen.insert(key, line);
    else if (order != 0)
        reportTwice(symbols, it.value(), line);
}

quint64 HistoryCheck::fingerprint(const QList<QByteArrayView> &symbols) {
    size_t hash = 0;
    for (const QByteArrayView symbol : symbols)
        hash = qHash(symbol, hash ^ size_t(symbol.size()));
    return quint64(hash);
}

void HistoryCheck::leaveOrder() {
    ordered = false;
    for (const Seen &history : std::as_const(early))
        seen.insert(history.fingerprint, history.line);
    forgetEarly();
}

void HistoryCheck::forgetEarly() {
    early = QList<Seen>();
    earlyCovered = false;
}

void HistoryCheck::reportTwice(const QList<QByteArrayView> &symbols, qint64 firstSeen,
                               qint64 line) {
    QStringList texts;
    for (const QByteArrayView symbol : symbols)
        texts.append(QString::fromUtf8(symbol));
    findings.add(Kind::HistoryTwice, line,
                 tr("the history %1 is listed twice, on line %2 and here.")
                     .arg(quotedInFinding(texts.join(u' ')))
                     .arg(firstSeen));
}
