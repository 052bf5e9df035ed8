// SPDX-License-Identifier: GPL-3.0-or-later
#include "expressionevaluator.h"

#include <algorithm>
#include <functional>

namespace {

constexpr qsizetype Remembered = ModelDefinitionReader::ResumableSteps;

// Replaces the entry below the top with (below op top), for every draw.
template<class Operation> void combine(double *top, qsizetype draws, Operation op) {
    double *below = top - draws;
    for (qsizetype k = 0; k < draws; ++k)
        below[k] = op(below[k], top[k]);
}

} // namespace

ExpressionEvaluator::ExpressionEvaluator(int draws)
    : draws(draws)
    , tops((Remembered + 1) * draws)
    , depths(Remembered + 1) {
    makeRoom(8);
}

void ExpressionEvaluator::begin() {
    depth = 0;
    stepIndex = 0;
    remembering = false;
}

// The reader resumes only at a "*" between top-level factors within the remembered steps, where
// the stack holds the product so far and nothing else.
void ExpressionEvaluator::beginProduct(qsizetype keptSteps) {
    remembering = true;
    stepIndex = keptSteps;
    depth = 0;
    if (keptSteps == 0)
        return;
    Q_ASSERT(keptSteps <= Remembered && depths.at(keptSteps) == 1);
    std::copy_n(tops.constData() + keptSteps * draws, draws, stack.data());
    depth = 1;
}

void ExpressionEvaluator::push(const ExpressionStep *steps, qsizetype count, const double *values) {
    const qsizetype d = draws;
    for (qsizetype i = 0; i < count; ++i) {
        const ExpressionStep &step = steps[i];
        const auto top = [&] { return stack.data() + (depth - 1) * d; };
        switch (step.kind) {
        case ExpressionStep::Kind::Number:
            makeRoom(depth + 1);
            std::fill_n(stack.data() + depth * d, d, step.number);
            ++depth;
            break;
        case ExpressionStep::Kind::Name:
            makeRoom(depth + 1);
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
        ++stepIndex;
        if (remembering && stepIndex <= Remembered) {
            depths[stepIndex] = depth;
            if (depth == 1)
                std::copy_n(stack.constData(), d, tops.data() + stepIndex * d);
        }
    }
}

void ExpressionEvaluator::makeRoom(qsizetype entries) {
    if (stack.size() < entries * draws)
        stack.resize(std::max(entries, 2 * stack.size() / draws) * draws);
}
