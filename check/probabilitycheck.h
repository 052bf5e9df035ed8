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

// The laws of probability: every cell in [0, 1] and the cells summing to 1, in every draw of
// the parameters. The variables are evaluated as they are defined, the cells as they stream by.
//
// The random draws put every parameter in (0, 1); draw d (from 0) uses the generator seeded
// with seed + d. In them the cells of a large model span many orders of magnitude, and a
// missing or wrong cell can be far too small to move the sum. The balanced draw gives the
// parameters values by their role instead, so that no cell is tiny: survival near 1, detection
// near 1/2, censoring small. The roles are read from the variables section, which the writer makes
// as "X(k) = 1 - s + s*(1-p)*X(k+1)": a parameter in "1 - s + ..." is a survival, one in a
// factor "(1-p)" a detection, one only used in the likelihood a censoring. Any values are valid
// for a sound file, so a guess that is wrong costs only sensitivity.
class ProbabilityCheck {
public:
    ProbabilityCheck(Findings &findings, quint32 seed, int draws);

    void makeRoomFor(int nameCount) {
        if (values.size() < qsizetype(nameCount) * slotCount)
            values.resize(qsizetype(nameCount) * slotCount,
                          std::numeric_limits<double>::quiet_NaN());
    }
    void drawParameter(int name);

    // A variable's steps come between these. One whose definition gives no value, or is not
    // evaluable, has no value, and neither has what uses it.
    void beginVariable();
    void endVariable(int name, bool givesValue, bool evaluable);
    // The balanced draw's values, once all variables are defined.
    void closeVariables();

    // A history's steps come between these; the first `keptSteps` are the previous history's.
    void beginProduct(qsizetype keptSteps);
    // Histories whose cells cannot be evaluated (a name without value, reported already) leave
    // the sum unknown.
    void endHistory(qint64 line, bool evaluable);

    void addSteps(const ExpressionStep *steps, qsizetype count);

    void finish(qint64 likelihoodLine);

    // Whether the balanced draw was made: not when the variables are too long to keep.
    bool madeBalancedDraw() const { return balanced; }

private:
    static constexpr int LargestCellsShown = 3;
    // Steps of the variables kept to evaluate them again in the balanced draw: the writer's
    // variables at 99 occasions take about a thousand.
    static constexpr qsizetype KeptVariableSteps = 65536;

    struct Cell {
        double value = -std::numeric_limits<double>::infinity();
        qint64 line = 0;
    };
    using Largest = std::array<Cell, LargestCellsShown>; // largest first
    struct Definition {
        int name;
        qsizetype first; // in variableSteps
        qsizetype count;
    };

    quint32 seedOf(int draw) const { return seed + quint32(draw); }
    int balancedSlot() const { return slotCount - 1; }
    int slotsInUse() const { return balanced ? slotCount : slotCount - 1; }
    QString drawName(int slot) const;
    // Inline: called for every cell, defined in the .cpp, the only place that calls it.
    static inline void rememberIfLarge(Largest &cells, double value, qint64 line);
    static QString largestCells(const Largest &cells);
    void giveBalancedValues();

    Findings &findings;
    const quint32 seed;
    const int draws;     // random ones
    const int slotCount; // values per name: the random draws, then the balanced one
    QList<QRandomGenerator> generators;
    QList<double> values; // by name, then slot; NaN where a name has no value
    QList<int> parameters;
    ExpressionEvaluator evaluator;
    QList<CompensatedSum> sums;
    QList<Largest> largest;
    quint64 cellCount = 0;
    bool everyCellEvaluated = true;

    bool inVariables = false;
    bool balanced = true;
    QList<ExpressionStep> variableSteps;
    QList<Definition> definitions;
    qsizetype definitionStart = 0;
};
