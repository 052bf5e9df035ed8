// SPDX-License-Identifier: GPL-3.0-or-later
#include "probabilitycheck.h"

#include "findings.h"

#include <QCoreApplication>

#include <cmath>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionCheck", text);
}

using Kind = ModelCheckFinding::Kind;

constexpr double CellTolerance = 1e-12; // the rounding of a product of a few dozen factors
constexpr double SumTolerance = 1e-9;

QString decimal(double value) {
    return QString::number(value, 'g', 15);
}

} // namespace

ProbabilityCheck::ProbabilityCheck(Findings &findings, quint32 seed, int draws)
    : findings(findings)
    , seed(seed)
    , draws(std::max(draws, 1))
    , evaluator(this->draws)
    , cell(this->draws)
    , sums(this->draws)
    , largest(this->draws) {
    for (int draw = 0; draw < this->draws; ++draw)
        generators.append(QRandomGenerator(seedOf(draw)));
}

void ProbabilityCheck::drawParameter(int name) {
    for (int draw = 0; draw < draws; ++draw) {
        double value = 0;
        while (value == 0)
            value = generators[draw].generateDouble();
        values[qsizetype(name) * draws + draw] = value;
    }
}

void ProbabilityCheck::defineVariable(int name, const Expression &expression, bool evaluable) {
    if (evaluable)
        evaluator.evaluate(expression, values.constData(), cell.data());
    else
        cell.fill(std::numeric_limits<double>::quiet_NaN());
    std::copy(cell.cbegin(), cell.cend(), values.begin() + qsizetype(name) * draws);
}

void ProbabilityCheck::rememberIfLarge(Largest &cells, double value, qint64 line) {
    if (!(value > cells.back().value))
        return;
    qsizetype i = cells.size() - 1;
    for (; i > 0 && cells[i - 1].value < value; --i)
        cells[i] = cells[i - 1];
    cells[i] = {value, line};
}

void ProbabilityCheck::addCell(const Expression &expression, qsizetype unchanged, qint64 line,
                               bool evaluable) {
    ++cellCount;
    if (!evaluable) {
        everyCellEvaluated = false;
        evaluator.forgetHistory();
        return;
    }
    evaluator.evaluateHistory(expression, unchanged, values.constData(), cell.data());
    int outOfRange = -1;
    for (int draw = 0; draw < draws; ++draw) {
        const double value = cell.at(draw);
        sums[draw].add(value);
        rememberIfLarge(largest[draw], value, line);
        if (outOfRange < 0 && !(value >= -CellTolerance && value <= 1 + CellTolerance))
            outOfRange = draw;
    }
    if (outOfRange >= 0) {
        findings.add(Kind::CellOutOfRange, line,
                     tr("the cell of this history is %1 in draw %2 (seed %3), outside "
                        "[0, 1].")
                         .arg(decimal(cell.at(outOfRange)))
                         .arg(outOfRange + 1)
                         .arg(seedOf(outOfRange)));
    }
}

void ProbabilityCheck::finish(qint64 likelihoodLine) {
    if (!everyCellEvaluated || cellCount == 0)
        return;
    int failing = 0;
    int first = -1;
    for (int draw = 0; draw < draws; ++draw) {
        if (!(std::abs(sums.at(draw).value() - 1) <= SumTolerance)) {
            ++failing;
            if (first < 0)
                first = draw;
        }
    }
    if (failing == 0)
        return;
    const double sum = sums.at(first).value();
    const double off = sum - 1;
    QString message =
        tr("in draw %1 of %2 (seed %3) the %4 cells sum to %5, not 1: off by %6. The "
           "largest cells are on lines %7.")
            .arg(first + 1)
            .arg(draws)
            .arg(seedOf(first))
            .arg(cellCount)
            .arg(decimal(sum),
                 (off > 0 ? QStringLiteral("+") : QString()) + QString::number(off, 'g', 3),
                 largestCells(largest.at(first)));
    if (failing > 1)
        message += u' ' + tr("The sum misses 1 in %1 of the %2 draws.").arg(failing).arg(draws);
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
