// SPDX-License-Identifier: GPL-3.0-or-later
#include "historyreadings.h"

#include "historyset.h"

namespace HistoryReadings {

Tables::Tables() {
    int pair = 0;
    for (int a = 0; a < Symbols; ++a) {
        pairOf[a][a] = -1;
        for (int b = a + 1; b < Symbols; ++b) {
            pairOf[a][b] = pairOf[b][a] = pair;
            low[pair] = a;
            high[pair] = b;
            ++pair;
        }
    }
    int map = Pairs;
    for (int z = 0; z < Symbols; ++z) {
        for (int w = 0; w < Symbols; ++w) {
            for (int x = 0; x < Symbols; ++x) {
                const bool distinct = z != w && z != x && w != x;
                censoredMapOf[z][w][x] = distinct ? map++ : -1;
            }
        }
    }
    int index = 0;
    for (const bool release : {false, true}) {
        for (const bool censoring : {false, true}) {
            for (int y = 0; y < Symbols; ++y) {
                for (int x = 0; x < Symbols; ++x) {
                    for (int z = 0; z < Symbols; ++z) {
                        if (x == y || (censoring ? (z == x || z == y) : z != 0))
                            continue;
                        readings[index] = {release, censoring, quint8(y), quint8(x),
                                           quint8(censoring ? z : 0)};
                        addFits(index++);
                    }
                }
            }
        }
    }
    Q_ASSERT(index == Readings);
}

void Tables::addFits(int index) {
    const Reading &r = readings[index];
    const int roles = (1 << r.y) | (1 << r.x);
    for (int set = 1; set < 32; ++set) {
        if ((set & ~roles) == 0)
            binaryFits[set].set(index);
    }
    if (r.censoring)
        censoredFits[r.z][r.y][r.x].set(index);
    for (int id = 0; id <= Symbols; ++id) {
        if (!r.release || id == r.x)
            firstFits[id].set(index);
    }
}

// Made at start-up: the tables are asked for in every row, without a guard then.
const Tables tableSet;

const Tables &tables() {
    return tableSet;
}

quint64 ones(int count) {
    return count >= 64 ? ~quint64(0) : (quint64(1) << count) - 1;
}

// Each digit 1 before the last occasion passes count(N - i) histories,
// 3 * 2^(N-i-1) - 1, the last digit one.
quint64 binaryPlaceWithCensoring(quint64 v) {
    return 3 * (v >> 1) - quint64(qPopulationCount(v >> 1)) + (v & 1);
}

quint64 censoredPlace(quint64 u, int k, int occasions) {
    return 3 * (u << (occasions - k)) - quint64(qPopulationCount(u))
           + 2 * HistorySet::count(occasions - k, true);
}

QList<Stretch> stretchesOf(const Reading &reading, int columns) {
    const Tables &t = tables();
    const int pair = t.pairOf[reading.y][reading.x];
    const bool upward = reading.x == t.high[pair];
    const int occasions = columns - (reading.release ? 1 : 0);
    const quint64 releaseBit = upward ? 1 : 0;
    QList<Stretch> stretches;
    stretches.append(
        {pair, reading.release ? releaseBit << occasions : 0, quint64(1) << occasions, upward, 0});
    if (!reading.censoring)
        return stretches;
    const int map = t.censoredMapOf[reading.z][reading.y][reading.x];
    for (int k = 1; k < occasions; ++k) {
        const int column = k + (reading.release ? 1 : 0); // from 1
        const quint64 length = quint64(1) << (k - 1);
        const quint64 start = ones(column - 1) + (reading.release ? releaseBit << (k - 1) : 0);
        stretches.append({map, start, length, upward, k});
    }
    return stretches;
}

quint64 placeInStretch(const Stretch &stretch, quint64 v, int occasions, bool censoring) {
    if (stretch.censoredAt > 0)
        return censoredPlace(v, stretch.censoredAt, occasions);
    return censoring ? binaryPlaceWithCensoring(v) : v;
}

} // namespace HistoryReadings
