// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMap>

// A set of numbers below 2^62 as bits, in pages of 4 KiB that are allocated when first touched:
// a map of 2^24 histories read in any order takes 2 MiB, a sparse one a page per cluster. The
// pages of several maps come out of one budget; a map refuses a page beyond it.
class HistoryMap {
public:
    static constexpr int PageBits = 1 << 15;

    struct Budget {
        qsizetype pagesLeft;
    };

    explicit HistoryMap(Budget &budget);

    enum class Insertion { New, Already, NoRoom };
    Insertion insert(quint64 number);
    bool contains(quint64 number) const;

    // The first number in [from, to) that is in the set (`present`) or not, or `to` when none.
    quint64 findFirst(bool present, quint64 from, quint64 to) const;
    // The last such number, or `to` when none.
    quint64 findLast(bool present, quint64 from, quint64 to) const;

    // Gives the pages back to the budget.
    void clear();

private:
    static constexpr int PageWords = PageBits / 64;

    quint64 *pageOf(quint64 page) const;
    quint64 *addPage(quint64 page);

    Budget *budget;
    QMap<quint64, QList<quint64>> pages; // ordered, so that searches skip missing pages
    mutable quint64 cachedPage = ~quint64(0);
    mutable quint64 *cachedWords = nullptr;
};
