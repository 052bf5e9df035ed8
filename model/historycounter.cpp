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

namespace {

// How many histories complete a row whose first occasions are fixed, with no 2 among them and
// `remaining` occasions still free: 2^r without censoring; with censoring each free occasion
// but the last may also end the row with a 2 (then zeros), which gives 3 * 2^(r-1) - 1.
// Saturates at the largest quint64: no file that long can be written anyway.
quint64 completions(int remaining, bool censoring) {
    if (remaining >= 63)
        return ~quint64(0);
    const quint64 free = quint64(1) << remaining;
    return censoring && remaining > 0 ? free + free / 2 - 1 : free;
}

} // namespace

// The histories run in the order of their digits, occasion 1 first, so the one at `index`
// is found occasion by occasion: each digit skips the histories that a smaller digit starts.
bool HistoryCounter::jumpTo(quint64 index) {
    const int n = int(digits.size());
    const bool censoring = maxDigit == 2;
    if (n == 0 || index >= completions(n, censoring) || (censoring && n < 2))
        return false;
    QList<int> target(n, 0);
    int censored = 0;
    for (int occasion = 1; occasion <= n && censored == 0; ++occasion) {
        for (int digit = 0; digit <= limitOf(occasion); ++digit) {
            const quint64 below = digit == 2 ? 1 : completions(n - occasion, censoring);
            if (index < below) {
                target[occasion - 1] = digit;
                censored = digit == 2 ? occasion : 0;
                break;
            }
            index -= below;
        }
    }
    digits = target;
    censoredAt = censored;
    changedFrom = 1;
    return true;
}
