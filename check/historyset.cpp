// SPDX-License-Identifier: GPL-3.0-or-later
#include "historyset.h"

namespace HistorySet {

quint64 count(int occasions, bool censoring) {
    if (occasions <= 0)
        return 1;
    return censoring ? 3 * (quint64(1) << (occasions - 1)) - 1 : quint64(1) << occasions;
}

quint64 rank(const quint8 *digits, int occasions, bool censoring) {
    quint64 place = 0;
    for (int i = 0; i < occasions; ++i)
        place += digits[i] * count(occasions - 1 - i, censoring);
    return place;
}

void unrank(quint64 rank, int occasions, bool censoring, quint8 *digits) {
    for (int i = 0; i < occasions; ++i) {
        const quint64 following = count(occasions - 1 - i, censoring);
        quint8 digit = 0;
        while (digit < 2 && rank >= following) {
            rank -= following;
            ++digit;
        }
        digits[i] = digit;
    }
}

} // namespace HistorySet
