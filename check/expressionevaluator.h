// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionreader.h"

#include <QList>

// Evaluates expressions for all draws at once, step by step as the reader hands them over:
// each stack entry holds one value per draw, and the stack is as deep as the expression's
// nesting, not as long as the expression.
//
// For histories it remembers, after each of the first ModelDefinitionReader::ResumableSteps
// steps, the stack's value where the stack holds just one: the product so far. When the reader
// says that a history's first steps are those of the previous history, evaluation resumes from
// there. Every history must therefore be evaluated, even one whose names have no value.
class ExpressionEvaluator {
public:
    explicit ExpressionEvaluator(int draws);

    // A variable's expression.
    void begin();
    // A history's product whose first `keptSteps` steps are the previous product's.
    void beginProduct(qsizetype keptSteps);
    // `values` holds the names' values by name, then draw.
    void push(const ExpressionStep *steps, qsizetype count, const double *values);
    // One value per draw: the expression's, once all its steps are in.
    const double *result() const { return stack.constData(); }

private:
    inline void makeRoom(qsizetype depth);

    const int draws;
    QList<double> stack;
    qsizetype depth = 0;
    qsizetype stepIndex = 0; // of the next step in the expression
    bool remembering = false;
    QList<double> tops;      // by step count, then draw
    QList<qsizetype> depths; // by step count
};
