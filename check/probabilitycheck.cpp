// SPDX-License-Identifier: GPL-3.0-or-later
#include "probabilitycheck.h"

#include "findings.h"

#include <cfloat>
#include <cmath>

namespace {

using CheckText::tr;

using Kind = ModelCheckFinding::Kind;

constexpr double CellTolerance = 1e-12; // the rounding of a product of a few dozen factors

// The balanced draw's values by role. Not 1/2 for detection, where p and (1 - p) would give
// the same cell: a factor put as its complement must show.
constexpr double BalancedSurvival = 63.0 / 64;
constexpr double BalancedCensoring = 1.0 / 16;
constexpr double BalancedOther = 7.0 / 16; // detection, the final parameter, any other

// How far the rounding can take the sum of `cells` cells from 1. A cell of a model of N
// occasions is a product of at most about 4N factors, one of them a variable X(k) evaluated
// through at most N steps of "1 - s + s*(1-p)*X(k+1)" with positive terms: its relative error
// stays below 8N units of rounding (u = 2^-53). The cells are positive and sum to about 1, so
// their errors add up to at most 8N u; the compensated sum adds about 2u. With N no more than
// log2(cells), 32 machine epsilons (64u) per occasion, and 8 occasions more, leave a margin of
// eight times that.
//
// One missing cell is far outside this in the balanced draw: at N = 24 with censoring there are
// 3 * 2^23 - 1 = 25,165,823 cells, log2 is 24.6, the tolerance 32 * 2.2e-16 * 32.6 = 2.3e-13.
// The smallest cell is the history detected on occasions 1 to 22 and censored at 23:
// (63/64 * 7/16 * 15/16)^22 * 63/64 * 7/16 * 1/16 = 5.8e-11, 250 times the tolerance. Without
// censoring the smallest, detected throughout, is (63/64 * 7/16)^23 * 7/16 = 1.7e-9.
double sumTolerance(quint64 cells) {
    return 32 * DBL_EPSILON * (std::log2(double(std::max<quint64>(cells, 1))) + 8);
}

QString decimal(double value) {
    return QString::number(value, 'g', 15);
}

// What a variable's definition tells of the roles of the parameters in it, from the shape the
// writer gives it. A small stack of what each entry of the evaluation stack is.
class RoleReader {
public:
    enum class Role : quint8 { Unknown, Other, Survival };

    explicit RoleReader(QList<Role> &roles)
        : roles(roles) {}

    void read(const ExpressionStep *steps, qsizetype count) {
        stack.resize(0);
        for (qsizetype i = 0; i < count; ++i)
            step(steps[i]);
    }

private:
    enum class Shape : quint8 { Other, One, Name, Complement }; // Complement: "1 - name"
    struct Entry {
        Shape shape;
        int name;
    };

    void step(const ExpressionStep &step) {
        switch (step.kind) {
        case ExpressionStep::Kind::Number:
            stack.append({step.number == 1 ? Shape::One : Shape::Other, -1});
            return;
        case ExpressionStep::Kind::Name:
            mark(step.name, Role::Other);
            stack.append({Shape::Name, step.name});
            return;
        case ExpressionStep::Kind::Negate:
            if (!stack.isEmpty())
                stack.last() = {Shape::Other, -1};
            return;
        default:
            break;
        }
        if (stack.size() < 2)
            return;
        const Entry right = stack.takeLast();
        const Entry left = stack.takeLast();
        Entry result{Shape::Other, -1};
        if (step.kind == ExpressionStep::Kind::Subtract && left.shape == Shape::One
            && right.shape == Shape::Name)
            result = {Shape::Complement, right.name};
        else if (step.kind == ExpressionStep::Kind::Add && left.shape == Shape::Complement)
            roles[left.name] = Role::Survival; // "1 - s + ...": the chance of dying first
        stack.append(result);
    }

    void mark(int name, Role role) {
        if (roles.at(name) == Role::Unknown)
            roles[name] = role;
    }

    QList<Role> &roles;
    QList<Entry> stack;
};

} // namespace

ProbabilityCheck::ProbabilityCheck(Findings &findings, quint32 seed, int draws)
    : findings(findings)
    , seed(seed)
    , draws(std::max(draws, 1))
    , slotCount(this->draws + 1)
    , evaluator(slotCount)
    , sums(slotCount)
    , largest(slotCount) {
    for (int draw = 0; draw < this->draws; ++draw)
        generators.append(QRandomGenerator(seedOf(draw)));
}

void ProbabilityCheck::drawParameter(int name) {
    for (int draw = 0; draw < draws; ++draw) {
        double value = 0;
        while (value == 0)
            value = generators[draw].generateDouble();
        values[qsizetype(name) * slotCount + draw] = value;
    }
    parameters.append(name); // its balanced value comes with the variables' roles
}

void ProbabilityCheck::beginVariable() {
    inVariables = true;
    evaluator.begin();
    definitionStart = variableSteps.size();
}

void ProbabilityCheck::addSteps(const ExpressionStep *steps, qsizetype count) {
    evaluator.push(steps, count, values.constData());
    if (!inVariables || !balanced)
        return;
    if (variableSteps.size() + count > KeptVariableSteps) {
        balanced = false; // too long to evaluate again: the random draws go on alone
        variableSteps = QList<ExpressionStep>();
        definitions = QList<Definition>();
        return;
    }
    variableSteps.resize(variableSteps.size() + count);
    std::copy_n(steps, count, variableSteps.end() - count);
}

void ProbabilityCheck::endVariable(int name, bool givesValue, bool evaluable) {
    inVariables = false;
    if (givesValue) {
        double *value = values.data() + qsizetype(name) * slotCount;
        for (int slot = 0; slot < slotCount; ++slot)
            value[slot] =
                evaluable ? evaluator.result()[slot] : std::numeric_limits<double>::quiet_NaN();
    }
    if (!balanced)
        return;
    if (givesValue && evaluable)
        definitions.append({name, definitionStart, variableSteps.size() - definitionStart});
    else
        variableSteps.resize(definitionStart);
}

void ProbabilityCheck::closeVariables() {
    if (balanced)
        giveBalancedValues();
    variableSteps = QList<ExpressionStep>();
    definitions = QList<Definition>();
}

// The parameters' balanced values by role, then the variables evaluated again with them.
void ProbabilityCheck::giveBalancedValues() {
    QList<RoleReader::Role> roles(values.size() / slotCount, RoleReader::Role::Unknown);
    RoleReader reader(roles);
    for (const Definition &definition : std::as_const(definitions))
        reader.read(variableSteps.constData() + definition.first, definition.count);
    for (const int parameter : std::as_const(parameters)) {
        double value = BalancedCensoring; // used in the likelihood only
        if (roles.at(parameter) == RoleReader::Role::Survival)
            value = BalancedSurvival;
        else if (roles.at(parameter) == RoleReader::Role::Other)
            value = BalancedOther;
        values[qsizetype(parameter) * slotCount + balancedSlot()] = value;
    }
    for (const Definition &definition : std::as_const(definitions)) {
        evaluator.begin();
        evaluator.push(variableSteps.constData() + definition.first, definition.count,
                       values.constData());
        values[qsizetype(definition.name) * slotCount + balancedSlot()] =
            evaluator.result()[balancedSlot()];
    }
}

void ProbabilityCheck::beginProduct(qsizetype keptSteps) {
    evaluator.beginProduct(keptSteps);
}

void ProbabilityCheck::rememberIfLarge(Largest &cells, double value, qint64 line) {
    if (!(value > cells.back().value))
        return;
    qsizetype i = cells.size() - 1;
    for (; i > 0 && cells[i - 1].value < value; --i)
        cells[i] = cells[i - 1];
    cells[i] = {value, line};
}

void ProbabilityCheck::endHistory(qint64 line, bool evaluable) {
    ++cellCount;
    if (!evaluable) {
        everyCellEvaluated = false;
        return;
    }
    const double *cell = evaluator.result();
    int outOfRange = -1;
    for (int slot = 0; slot < slotsInUse(); ++slot) {
        const double value = cell[slot];
        sums[slot].add(value);
        rememberIfLarge(largest[slot], value, line);
        if (outOfRange < 0 && !(value >= -CellTolerance && value <= 1 + CellTolerance))
            outOfRange = slot;
    }
    if (outOfRange >= 0) {
        findings.add(Kind::CellOutOfRange, line,
                     tr("the cell of this history is %1 in %2, outside [0, 1].")
                         .arg(decimal(cell[outOfRange]), drawName(outOfRange)));
    }
}

QString ProbabilityCheck::drawName(int slot) const {
    if (slot == balancedSlot()) {
        return tr("the balanced draw (survival %1, censoring %2, every other parameter %3)")
            .arg(QStringLiteral("63/64"), QStringLiteral("1/16"), QStringLiteral("7/16"));
    }
    return tr("draw %1 of %2 (seed %3)").arg(slot + 1).arg(draws).arg(seedOf(slot));
}

void ProbabilityCheck::finish(qint64 likelihoodLine) {
    if (!everyCellEvaluated || cellCount == 0)
        return;
    const double tolerance = sumTolerance(cellCount);
    // Of the draws that miss, the one that misses most is told: usually the balanced one.
    int failing = 0;
    int first = -1;
    for (int slot = 0; slot < slotsInUse(); ++slot) {
        const double off = std::abs(sums.at(slot).value() - 1);
        if (!(off <= tolerance)) {
            ++failing;
            if (first < 0 || !(off <= std::abs(sums.at(first).value() - 1)))
                first = slot;
        }
    }
    if (failing == 0)
        return;
    const double sum = sums.at(first).value();
    const double off = sum - 1;
    QString message =
        tr("in %1 the %2 cells sum to %3, not 1: off by %4, more than the rounding of so many "
           "cells allows (%5). The largest cells are on lines %6.")
            .arg(drawName(first))
            .arg(cellCount)
            .arg(decimal(sum),
                 (off > 0 ? QStringLiteral("+") : QString()) + QString::number(off, 'g', 3),
                 QString::number(tolerance, 'g', 2), largestCells(largest.at(first)));
    if (failing > 1) {
        message +=
            u' ' + tr("The sum misses 1 in %1 of the %2 draws.").arg(failing).arg(slotsInUse());
    }
    findings.add(Kind::CellsDoNotSumToOne, likelihoodLine, message);
}

QString ProbabilityCheck::largestCells(const Largest &cells) {
    QStringList shown;
    for (const Cell &cell : cells) {
        if (cell.line > 0)
            shown.append(tr("%1 (%2)").arg(cell.line).arg(cell.value, 0, 'g', 6));
    }
    return shown.join(QStringLiteral(", "));
}
