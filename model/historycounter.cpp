// SPDX-License-Identifier: GPL-3.0-or-later
#include "historycounter.h"

#include <QtGlobal>

#include <algorithm>

HistoryCounter::HistoryCounter(int numPeriods, bool censoring)
    : maxDigit(censoring ? 2 : 1) {
    Q_ASSERT_X(numPeriods >= 1, "HistoryCounter", "needs at least one occasion");
    Q_ASSERT_X(!censoring || numPeriods >= 2, "HistoryCounter",
               "censoring needs at least two occasions");
    const int n = std::max(numPeriods, 0);
    digits = QList<int>(n, 0);
    if (censoring) {
        finalDigits = QList<int>(n, 0);
        if (n > 0)
            finalDigits[0] = 2;
    } else {
        finalDigits = QList<int>(n, 1);
    }
}

int HistoryCounter::digit(int occasion) const {
    Q_ASSERT_X(occasion >= 1 && occasion <= digits.size(), "HistoryCounter::digit",
               "occasion out of range");
    if (occasion < 1 || occasion > digits.size())
        return 0;
    return digits[occasion - 1];
}

bool HistoryCounter::isDetected(int occasion) const {
    return digit(occasion) != 0;
}

bool HistoryCounter::isCensored(int occasion) const {
    return digit(occasion) == 2;
}

// The occasion of the last 1 or 2; 0 when every digit is 0. Scanning from the end finds it
// after a step or two for most histories.
int HistoryCounter::lastDetection() const {
    for (qsizetype i = digits.size(); i > 0; --i) {
        if (digits[i - 1] != 0)
            return int(i);
    }
    return 0;
}

int HistoryCounter::limitOf(int occasion) const {
    return occasion == digits.size() ? 1 : maxDigit;
}

bool HistoryCounter::advance() {
    if (digits == finalDigits)
        return false;

    // Start at the censored occasion if there is one (it overflows at once, so nothing after
    // a 2 is ever nonzero), otherwise at the last occasion.
    const auto two = std::find(digits.crbegin(), digits.crend(), 2);
    const int start = two != digits.crend() ? int(digits.crend() - two) : int(digits.size());

    // Carry: find the occasion that takes the step; every occasion after it up to the start
    // rolls over to 0. Finding it first means a carry past occasion 1 changes nothing.
    int p = start;
    while (p >= 1 && digits[p - 1] == limitOf(p))
        --p;
    if (p < 1)
        return false;

    ++digits[p - 1];
    std::fill(digits.begin() + p, digits.begin() + start, 0);
    changedFrom = p;
    return true;
}
