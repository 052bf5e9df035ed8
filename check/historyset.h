// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// The complete set of detection histories of N occasions, as the writer enumerates them: each
// occasion holds the digit 0 (not detected), 1 (detected) or, with censoring, 2 (detected and
// censored there: only 0s follow, and the last occasion is never censored). In the writer's
// order the histories are increasing numbers with occasion 1 as the most significant digit.
namespace HistorySet {

// The most occasions whose histories the check numbers: 2^62 of them already fit no disk.
constexpr int MaxOccasions = 62;

// How many histories of `occasions` occasions there are: 2^N, or 3 * 2^(N-1) - 1 with
// censoring (2^N without a censoring, and 2^(k-1) censored at occasion k, for k < N).
quint64 count(int occasions, bool censoring);

// The history's place in the enumeration, from 0. With censoring, a digit 0 or 1 at occasion i
// is followed by count(N - i) histories each, a 2 by one only; so the place is the sum of
// digit * count(N - i) over the occasions.
quint64 rank(const quint8 *digits, int occasions, bool censoring);
// The digits of the history at a place, which must be below count().
void unrank(quint64 rank, int occasions, bool censoring, quint8 *digits);

} // namespace HistorySet

// A history's symbols as the ids of their texts, two bits each, occasion 1 highest: what the
// check keeps of a row to find it again.
struct HistoryKey {
    quint64 high = 0;
    quint64 low = 0;

    // The key with one more symbol after the others.
    HistoryKey appended(int id) const {
        return {(high << 2) | (low >> 62), (low << 2) | quint64(id & 3)};
    }
    int at(int column, int columns) const {
        const int shift = 2 * (columns - 1 - column);
        return int(((shift >= 64 ? high >> (shift - 64) : low >> shift)) & 3);
    }
    friend bool operator==(const HistoryKey &a, const HistoryKey &b) {
        return a.high == b.high && a.low == b.low;
    }
    friend bool operator!=(const HistoryKey &a, const HistoryKey &b) { return !(a == b); }
};
