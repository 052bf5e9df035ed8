// SPDX-License-Identifier: GPL-3.0-or-later
#include "historymap.h"

#include <QtAlgorithms>

namespace {

// The bits of a word from `first` to `last` (0 to 63) set.
quint64 bitsBetween(int first, int last) {
    const quint64 upTo = last == 63 ? ~quint64(0) : (quint64(1) << (last + 1)) - 1;
    return upTo & ~((quint64(1) << first) - 1);
}

} // namespace

HistoryMap::HistoryMap(Budget &budget)
    : budget(&budget) {}

quint64 *HistoryMap::pageOf(quint64 page) const {
    if (page == cachedPage)
        return cachedWords;
    const auto it = pages.constFind(page);
    if (it == pages.cend())
        return nullptr;
    cachedPage = page;
    // The pages are never shared: writing through constData() is writing to this map's own.
    cachedWords = const_cast<quint64 *>(it->constData());
    return cachedWords;
}

quint64 *HistoryMap::addPage(quint64 page) {
    --budget->pagesLeft;
    const auto it = pages.insert(page, QList<quint64>(PageWords, 0));
    cachedPage = page;
    cachedWords = it->data();
    return cachedWords;
}

HistoryMap::Insertion HistoryMap::insert(quint64 number) {
    const quint64 page = number / PageBits;
    quint64 *words = pageOf(page);
    if (!words) {
        if (budget->pagesLeft <= 0)
            return Insertion::NoRoom;
        words = addPage(page);
    }
    const quint64 bit = number % PageBits;
    quint64 &word = words[bit / 64];
    const quint64 mask = quint64(1) << (bit % 64);
    if (word & mask)
        return Insertion::Already;
    word |= mask;
    return Insertion::New;
}

bool HistoryMap::contains(quint64 number) const {
    const quint64 *words = pageOf(number / PageBits);
    const quint64 bit = number % PageBits;
    return words && (words[bit / 64] >> (bit % 64)) & 1;
}

quint64 HistoryMap::findFirst(bool present, quint64 from, quint64 to) const {
    quint64 number = from;
    while (number < to) {
        quint64 page = number / PageBits;
        const quint64 *words = nullptr;
        if (present) {
            const auto it = pages.lowerBound(page);
            if (it == pages.cend())
                return to;
            if (it.key() > page) {
                page = it.key();
                number = page * PageBits;
            }
            words = it->constData();
        } else {
            words = pageOf(page);
            if (!words)
                return number;
        }
        for (int index = int(number % PageBits / 64); index < PageWords; ++index) {
            quint64 word = present ? words[index] : ~words[index];
            if (index == int(number % PageBits / 64))
                word &= bitsBetween(int(number % 64), 63);
            if (word) {
                const quint64 found =
                    page * PageBits + quint64(index) * 64 + qCountTrailingZeroBits(word);
                return found < to ? found : to;
            }
        }
        number = (page + 1) * PageBits;
    }
    return to;
}

quint64 HistoryMap::findLast(bool present, quint64 from, quint64 to) const {
    if (from >= to)
        return to;
    quint64 number = to - 1;
    for (;;) {
        quint64 page = number / PageBits;
        const quint64 *words = nullptr;
        if (present) {
            auto it = pages.upperBound(page);
            if (it == pages.cbegin())
                return to;
            --it;
            if (it.key() < page) {
                page = it.key();
                number = page * PageBits + PageBits - 1;
                if (number < from)
                    return to;
            }
            words = it->constData();
        } else {
            words = pageOf(page);
            if (!words)
                return number;
        }
        const int first = int(number % PageBits / 64);
        for (int index = first; index >= 0; --index) {
            quint64 word = present ? words[index] : ~words[index];
            if (index == first)
                word &= bitsBetween(0, int(number % 64));
            if (word) {
                const quint64 found =
                    page * PageBits + quint64(index) * 64 + 63 - qCountLeadingZeroBits(word);
                return found >= from ? found : to;
            }
        }
        if (page == 0 || page * PageBits <= from)
            return to;
        number = page * PageBits - 1;
    }
}

void HistoryMap::clear() {
    budget->pagesLeft += pages.size();
    pages.clear();
    cachedPage = ~quint64(0);
    cachedWords = nullptr;
}
