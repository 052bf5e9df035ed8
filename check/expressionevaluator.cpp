// SPDX-License-Identifier: GPL-3.0-or-later
#include "expressionevaluator.h"

#include <algorithm>
#include <functional>

namespace {

// Replaces the entry below the top with (below op top), for every draw.
template<class Operation> void combine(double *top, qsizetype draws, Operation op) {
    double *below = top - draws;
    for (qsizetype k = 0; k < draws; ++k)
        below[k] = op(below[k], top[k]);
}

} // namespace

ExpressionEvaluator::ExpressionEvaluator(int draws)
    : draws(draws) {}

void ExpressionEvaluator::evaluate(const Expression &steps, const double *values, double *result) {
    run(steps, 0, values, result, false);
}

void ExpressionEvaluator::evaluateHistory(const Expression &steps, qsizetype unchanged,
                                          const double *values, double *result) {
    const bool resumable = unchanged > 0 && unchanged <= remembered && depths.at(unchanged) == 1;
    run(steps, resumable ? unchanged : 0, values, result, true);
}

void ExpressionEvaluator::run(const Expression &steps, qsizetype first, const double *values,
                              double *result, bool remember) {
    const qsizetype d = draws;
    makeRoom(steps.size(), remember);
    qsizetype depth = 0;
    if (first > 0) {
        std::copy_n(tops.constData() + first * d, d, stack.data());
        depth = 1;
    }
    for (qsizetype i = first; i < steps.size(); ++i) {
        const ExpressionStep &step = steps.at(i);
        const auto top = [&] { return stack.data() + (depth - 1) * d; };
        switch (step.kind) {
        case ExpressionStep::Kind::Number:
            std::fill_n(stack.data() + depth * d, d, step.number);
            ++depth;
            break;
        case ExpressionStep::Kind::Name:
            std::copy_n(values + step.name * d, d, stack.data() + depth * d);
            ++depth;
            break;
        case ExpressionStep::Kind::Negate:
            std::transform(top(), top() + d, top(), std::negate<double>());
            break;
        case ExpressionStep::Kind::Add:
            combine(top(), d, [](double a, double b) { return a + b; });
            --depth;
            break;
        case ExpressionStep::Kind::Subtract:
            combine(top(), d, [](double a, double b) { return a - b; });
            --depth;
            break;
        case ExpressionStep::Kind::Multiply:
            combine(top(), d, [](double a, double b) { return a * b; });
            --depth;
            break;
        case ExpressionStep::Kind::Divide:
            combine(top(), d, [](double a, double b) { return a / b; });
            --depth;
            break;
        }
        if (remember) {
            depths[i + 1] = depth;
            if (depth == 1)
                std::copy_n(stack.constData(), d, tops.data() + (i + 1) * d);
        }
    }
    std::copy_n(stack.constData(), d, result);
    if (remember)
        remembered = steps.size();
}

void ExpressionEvaluator::makeRoom(qsizetype stepCount, bool remember) {
    const qsizetype entries = (stepCount + 1) * draws;
    if (stack.size() < entries)
        stack.resize(entries);
    if (remember && tops.size() < entries) {
        tops.resize(entries);
        depths.resize(stepCount + 1);
    }
}
