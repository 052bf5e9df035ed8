// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QtGlobal>

#include <array>
#include <bitset>

// The ways to read the symbols of a set of histories, and where each history sits in the
// history check's maps under a reading. Fixed arithmetic, shared by the reading of the rows
// and the verdict at the end.
namespace HistoryReadings {

constexpr int Symbols = 4;       // texts with an id
constexpr int Foreign = Symbols; // the id of any other text
constexpr int Pairs = 6;         // of ids
constexpr int CensoredMaps = 24; // (z, w, x): censored, not detected, detected
constexpr int Maps = Pairs + CensoredMaps;
constexpr int Readings = 72;

// One way to read the symbols: which id is not detected (y), detected (x), censored (z).
struct Reading {
    bool release;
    bool censoring;
    quint8 y;
    quint8 x;
    quint8 z;
};
using ReadingSet = std::bitset<Readings>;

// Which ids make which pair, which map holds which censored shape, and which readings a shape
// fits.
struct Tables {
    std::array<Reading, Readings> readings{};
    std::array<std::array<int, Symbols>, Symbols> pairOf{};
    std::array<int, Pairs> low{};
    std::array<int, Pairs> high{};
    std::array<std::array<std::array<int, Symbols>, Symbols>, Symbols> censoredMapOf{};
    std::array<ReadingSet, 32> binaryFits{}; // by the set of ids in the row, bit 4 foreign
    std::array<std::array<std::array<ReadingSet, Symbols>, Symbols>, Symbols> censoredFits{};
    std::array<ReadingSet, Symbols + 1> firstFits{}; // by the id of the first symbol

    Tables();

private:
    void addFits(int index);
};

const Tables &tables();

// The lowest `count` bits set.
quint64 ones(int count);

// The place among the histories of N occasions with censoring of a binary one, whose digits
// read as the number v.
quint64 binaryPlaceWithCensoring(quint64 v);
// And of one censored at occasion k (from 1) after the digits that read as u.
quint64 censoredPlace(quint64 u, int k, int occasions);

// Under a reading, the histories without censoring are one stretch of the pair's map, and
// those censored at occasion k one stretch of the censored map each; within a stretch the
// numbers run with the histories' places, upward or (when "detected" is the lower id of the
// pair) downward. So the first missing history, and the next one present, are each found by
// a search of every stretch.
struct Stretch {
    int map;
    quint64 start;
    quint64 length;
    bool upward;
    int censoredAt; // 0: not censored
};

QList<Stretch> stretchesOf(const Reading &reading, int columns);
// The place, among the reading's histories, of the one numbered v in the stretch.
quint64 placeInStretch(const Stretch &stretch, quint64 v, int occasions, bool censoring);

} // namespace HistoryReadings
