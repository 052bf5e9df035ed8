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

// The occasion of the last 1 or 2; 0 when every digit is 0. Scanning from the end finds it
// after a step or two for most histories.
int HistoryCounter::lastDetection() const {
    for (qsizetype i = digits.size(); i > 0; --i) {
        if (digits[i - 1] != 0)
            return int(i);
    }
    return 0;
}

// The final history is the only one at which every occasion from the start back to occasion 1
// is at its limit (N ones; a 2 followed by zeros), so the carry running past occasion 1 is
// the test for "digits equal finalDigits", without comparing them at every step.
bool HistoryCounter::advance() {
    int *digit = digits.data(); // occasion i is digit[i - 1]

    // Start at the censored occasion if there is one (it overflows at once, so nothing after
    // a 2 is ever nonzero), otherwise at the last occasion.
    const int start = censoredAt > 0 ? censoredAt : int(digits.size());

    // Carry: find the occasion that takes the step; every occasion after it up to the start
    // rolls over to 0. Finding it first means a carry past occasion 1 changes nothing.
    int p = start;
    while (p >= 1 && digit[p - 1] == limitOf(p))
        --p;
    if (p < 1)
        return false;

    ++digit[p - 1];
    std::fill(digit + p, digit + start, 0);
    censoredAt = digit[p - 1] == 2 ? p : 0;
    changedFrom = p;
    return true;
}
