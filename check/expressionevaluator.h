// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionreader.h"

#include <QList>

// Evaluates expressions for all draws at once: each stack entry holds one value per draw.
//
// For histories it remembers, after each step, the stack's value where the stack holds just
// one: the product so far. When the reader says that a history's first steps are those of the
// previous history, evaluation resumes from there.
class ExpressionEvaluator {
public:
    explicit ExpressionEvaluator(int draws);

    // `values` holds the names' values by name, then draw; `result` gets one value per draw.
    void evaluate(const Expression &steps, const double *values, double *result);
    void evaluateHistory(const Expression &steps, qsizetype unchanged, const double *values,
                         double *result);
    void forgetHistory() { remembered = 0; }

private:
    void run(const Expression &steps, qsizetype first, const double *values, double *result,
             bool remember);
    inline void makeRoom(qsizetype stepCount, bool remember);

    const int draws;
    QList<double> stack;
    QList<double> tops;       // by step count, then draw
    QList<qsizetype> depths;  // by step count
    qsizetype remembered = 0; // steps of the last history with tops and depths
};
