// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "expressionevaluator.h"
#include "modeldefinitionreader.h"

#include <QList>
#include <QRandomGenerator>

#include <array>
#include <cmath>
#include <limits>

class Findings;

// A sum of millions of small numbers, with the rounding error of each addition carried along
// (Neumaier's variant of Kahan summation).
class CompensatedSum {
public:
    void add(double value) {
        const double next = sum + value;
        if (std::abs(sum) >= std::abs(value))
            compensation += (sum - next) + value;
        else
            compensation += (value - next) + sum;
        sum = next;
    }
    double value() const { return sum + compensation; }

private:
    double sum = 0;
    double compensation = 0;
};

// The laws of probability, for parameters drawn at random in (0, 1): every cell in [0, 1] and
// the cells summing to 1, in every draw. The variables are evaluated as they are defined.
// Draw d (from 0) uses the generator seeded with seed + d.
class ProbabilityCheck {
public:
    ProbabilityCheck(Findings &findings, quint32 seed, int draws);

    void makeRoomFor(int nameCount) {
        if (values.size() < qsizetype(nameCount) * draws)
            values.resize(qsizetype(nameCount) * draws, std::numeric_limits<double>::quiet_NaN());
    }
    void drawParameter(int name);
    // A variable that is not evaluable has no value, and neither has what uses it.
    void defineVariable(int name, const Expression &expression, bool evaluable);
    // The first `unchanged` steps are those of the previous history.
    void addCell(const Expression &expression, qsizetype unchanged, qint64 line, bool evaluable);
    // Histories whose cells could not be evaluated (a name without value, reported already)
    // leave the sum unknown.
    void finish(qint64 likelihoodLine);

private:
    static constexpr int LargestCellsShown = 3;

    struct Cell {
        double value = -std::numeric_limits<double>::infinity();
        qint64 line = 0;
    };
    using Largest = std::array<Cell, LargestCellsShown>; // largest first

    quint32 seedOf(int draw) const { return seed + quint32(draw); }
    // Inline: called for every cell, defined in the .cpp, the only place that calls it.
    static inline void rememberIfLarge(Largest &cells, double value, qint64 line);
    static QString largestCells(const Largest &cells);

    Findings &findings;
    const quint32 seed;
    const int draws;
    QList<QRandomGenerator> generators;
    QList<double> values; // by name, then draw; NaN where a name has no value
    ExpressionEvaluator evaluator;
    QList<double> cell; // the value being evaluated, by draw
    QList<CompensatedSum> sums;
    QList<Largest> largest;
    quint64 cellCount = 0;
    bool everyCellEvaluated = true;
};
