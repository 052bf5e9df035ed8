// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

// Enumerates the detection histories of a CJS model over N occasions, one at a time.
//
// A history holds one digit per occasion, occasion 1 first: 0 not detected, 1 detected,
// 2 detected and censored there. Occasions 1..N-1 count 0..maxDigit, occasion N counts 0..1,
// and every digit after a 2 is 0. Read as a number with occasion 1 as its most significant
// digit, the histories come in increasing order, from all zeros to the final history
// (N ones without censoring; a 2 followed by N-1 zeros with censoring).
//
// Occasions are numbered from 1. The caller keeps N >= 1 (N >= 2 with censoring) and
// 1 <= occasion <= N; debug builds assert this, release builds answer safely: queries outside
// the occasions answer "not detected" and the enumeration never leaves the valid rows.
class HistoryCounter {
public:
    HistoryCounter(int numPeriods, bool censoring);

    bool isDetected(int occasion) const { return digit(occasion) != 0; }
    bool isCensored(int occasion) const { return digit(occasion) == 2; }
    int digit(int occasion) const {
        Q_ASSERT_X(occasion >= 1 && occasion <= digits.size(), "HistoryCounter::digit",
                   "occasion out of range");
        return occasion >= 1 && occasion <= digits.size() ? digits.at(occasion - 1) : 0;
    }
    int lastDetection() const;
    int numPeriods() const { return int(digits.size()); }

    // Moves to the next history and returns true; at the final history returns false and
    // changes nothing.
    bool advance();

    // Moves to the history that `index` advances from the first one lead to (0 is the
    // first); false, changing nothing, when there are not that many. O(N).
    bool jumpTo(quint64 index);

    // The first occasion whose digit the last successful advance changed; every occasion
    // before it holds the same digit as in the previous history. 1 before the first advance.
    int firstChangedOccasion() const { return changedFrom; }

    HistoryCounter(const HistoryCounter &) = delete;
    HistoryCounter &operator=(const HistoryCounter &) = delete;

private:
    int limitOf(int occasion) const { return occasion == digits.size() ? 1 : maxDigit; }

    int maxDigit;
    QList<int> digits;
    QList<int> finalDigits;
    int changedFrom = 1;
    int censoredAt = 0; // the occasion that holds the 2, or 0
};
