// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitioncheck.h"

#include "modeldefinitionreader.h"
#include "modelnames.h"
#include "writercomparison.h"

#include <QCoreApplication>
#include <QHash>
#include <QIODevice>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>

namespace {

using Kind = ModelCheckFinding::Kind;

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionCheck", text);
}

constexpr double CellTolerance = 1e-12; // the rounding of a product of a few dozen factors
constexpr double SumTolerance = 1e-9;
constexpr int ListedPerKind = 10;
constexpr int LargestCellsShown = 3;
constexpr qsizetype LongestShownText = 60;
constexpr int KindCount = int(Kind::DiffersFromOptions) + 1;

ModelCheckFinding::Severity severityOf(Kind kind) {
    return kind == Kind::ParameterUnused ? ModelCheckFinding::Severity::Warning
                                         : ModelCheckFinding::Severity::Error;
}

QString quoted(const QString &text) {
    const QString shown =
        text.size() > LongestShownText ? text.left(LongestShownText) + QChar(0x2026) : text;
    return QStringLiteral("\"%1\"").arg(visibleText(shown));
}

QString decimal(double value) {
    return QString::number(value, 'g', 15);
}

// The findings so far. A kind met in many places (a cell out of range in a file with millions
// of histories) is listed ten times, then counted.
class Findings {
public:
    void add(Kind kind, qint64 line, const QString &message, qint64 column = 0) {
        Tally &tally = tallies[size_t(kind)];
        if (tally.listed < ListedPerKind) {
            ++tally.listed;
            listed.append({kind, severityOf(kind), line, column, message});
        } else if (tally.unlisted++ == 0) {
            tally.firstUnlistedLine = line;
        }
    }

    bool hasErrors() const {
        return std::any_of(listed.cbegin(), listed.cend(), [](const ModelCheckFinding &f) {
            return f.severity == ModelCheckFinding::Severity::Error;
        });
    }

    QList<ModelCheckFinding> byLine() const {
        QList<ModelCheckFinding> all = listed;
        for (int kind = 0; kind < KindCount; ++kind) {
            const Tally &tally = tallies[size_t(kind)];
            if (tally.unlisted > 0) {
                all.append({Kind(kind), severityOf(Kind(kind)), tally.firstUnlistedLine, 0,
                            tr("%1 more findings of this kind are not listed; the first of them is "
                               "on this line.")
                                .arg(tally.unlisted)});
            }
        }
        std::stable_sort(
            all.begin(), all.end(),
            [](const ModelCheckFinding &a, const ModelCheckFinding &b) { return a.line < b.line; });
        return all;
    }

private:
    struct Tally {
        int listed = 0;
        qint64 unlisted = 0;
        qint64 firstUnlistedLine = 0;
    };

    std::array<Tally, KindCount> tallies{};
    QList<ModelCheckFinding> listed;
};

// Every name used must be a declared parameter or a variable defined above its use, each
// declared or defined once, and every parameter used somewhere. A name "has a value" when the
// probabilities can be evaluated with it: a parameter, or a variable whose definition uses only
// names with values.
class NameCheck {
public:
    struct Definition {
        bool givesValue; // the first definition of a name that is no parameter
        bool evaluable;  // everything it uses has a value
    };

    NameCheck(Findings &findings, const ModelDefinitionReader &reader)
        : findings(findings)
        , reader(reader) {}

    void makeRoomFor(int nameCount) {
        if (names.size() < nameCount)
            names.resize(nameCount);
    }

    // True for the first declaration of the name.
    bool declareParameter(int name, qint64 line) {
        Name &parameter = names[name];
        if (parameter.role == Role::Parameter) {
            findings.add(Kind::ParameterDeclaredTwice, line,
                         tr("the parameter %1 is declared twice, here and on line %2.")
                             .arg(text(name))
                             .arg(parameter.line));
            return false;
        }
        parameter = {Role::Parameter, false, true, false, line, 0};
        return true;
    }

    Definition defineVariable(int name, const Expression &expression, qint64 line) {
        bool evaluable = true;
        bool usesItself = false;
        for (const ExpressionStep &step : expression) {
            if (step.kind != ExpressionStep::Kind::Name)
                continue;
            if (step.name == name && names.at(name).role == Role::None)
                usesItself = true;
            else
                evaluable &= use(step.name, line);
        }
        Name &variable = names[name];
        if (variable.role == Role::Parameter) {
            findings.add(Kind::ParameterDefinedAsVariable, line,
                         tr("%1 is defined as a variable, but it is a parameter declared on "
                            "line %2.")
                             .arg(text(name))
                             .arg(variable.line));
            return {false, false};
        }
        if (variable.role == Role::Variable) {
            findings.add(Kind::VariableDefinedTwice, line,
                         tr("the variable %1 is defined twice, here and on line %2.")
                             .arg(text(name))
                             .arg(variable.line));
            return {false, false};
        }
        if (usesItself) {
            findings.add(Kind::VariableDefinedByItself, line,
                         tr("the variable %1 is defined in terms of itself.").arg(text(name)));
        }
        if (variable.earlyUse > 0) {
            findings.add(Kind::VariableUsedEarly, variable.earlyUse,
                         tr("the variable %1 is used here, above its definition on line %2; a "
                            "variable can only use the variables defined above it.")
                             .arg(text(name))
                             .arg(line));
        }
        evaluable = evaluable && !usesItself;
        variable = {Role::Variable, variable.earlyUse > 0, evaluable, false, line, 0};
        return {true, evaluable};
    }

    // What the variables used but never defined is known once they all are.
    void closeVariables() {
        inLikelihood = true;
        for (int name = 0; name < names.size(); ++name) {
            Name &unknown = names[name];
            if (unknown.role == Role::None && unknown.earlyUse > 0) {
                reportUndefined(name, unknown.earlyUse);
                unknown.reported = true;
            }
        }
    }

    // Whether the history's product can be evaluated. The steps the reader kept from the
    // previous history were looked at then; whether one of them had no value is remembered.
    bool useInHistory(const Expression &expression, qsizetype unchanged, qint64 line) {
        qsizetype firstValueless = -1;
        if (lastFirstValueless >= 0 && lastFirstValueless < unchanged)
            firstValueless = lastFirstValueless;
        for (qsizetype i = unchanged; i < expression.size(); ++i) {
            const ExpressionStep &step = expression.at(i);
            if (step.kind == ExpressionStep::Kind::Name && !use(step.name, line)
                && firstValueless < 0)
                firstValueless = i;
        }
        lastFirstValueless = firstValueless;
        return firstValueless < 0;
    }

    void finish() {
        for (int name = 0; name < names.size(); ++name) {
            const Name &parameter = names.at(name);
            if (parameter.role == Role::Parameter && !parameter.used) {
                findings.add(Kind::ParameterUnused, parameter.line,
                             tr("the parameter %1 is declared but used nowhere.").arg(text(name)));
            }
        }
    }

private:
    enum class Role : quint8 { None, Parameter, Variable };
    struct Name {
        Role role = Role::None;
        bool used = false;
        bool hasValue = false;
        bool reported = false; // as undefined
        qint64 line = 0;       // of the declaration or definition
        qint64 earlyUse = 0;   // the first use before any definition, in the variables
    };

    bool use(int name, qint64 line) {
        Name &used = names[name];
        used.used = true;
        if (used.role != Role::None)
            return used.hasValue;
        if (!inLikelihood) {
            if (used.earlyUse == 0)
                used.earlyUse = line;
        } else if (!used.reported) {
            used.reported = true;
            reportUndefined(name, line);
        }
        return false;
    }

    void reportUndefined(int name, qint64 line) {
        findings.add(Kind::UndefinedName, line,
                     tr("%1 is neither a declared parameter nor a variable defined in the file.")
                         .arg(text(name)));
    }

    QString text(int name) const { return quoted(reader.nameText(name)); }

    Findings &findings;
    const ModelDefinitionReader &reader;
    QList<Name> names;
    bool inLikelihood = false;
    qsizetype lastFirstValueless = -1;
};

// All histories have as many symbols as the first, and none comes twice.
//
// A history is compared as the ranks of its symbols, each column ranking its symbols in the
// order they first appear there. The writer's histories come in strictly increasing order of
// these ranks (not detected, detected, censored), and in a strictly increasing sequence a
// history that came before is always the one right before: comparing neighbours finds every
// duplicate with the memory of one history. Once a history comes out of order, each history's
// 64-bit fingerprint goes into a set instead. The fingerprints of the first histories are kept
// so that the set then covers them too; a file that is out of order only after the first
// EarlyHistories histories has its duplicates of those earlier ones found by the sum of the
// cells instead, which a repeated history pushes over 1.
class HistoryCheck {
public:
    explicit HistoryCheck(Findings &findings)
        : findings(findings) {}

    // The first `unchanged` symbols are those of the previous history the reader read.
    void add(const QList<QByteArrayView> &symbols, qsizetype unchanged, qint64 line) {
        if (length < 0) {
            length = symbols.size();
            firstLine = line;
            columns.resize(length);
            ranks.resize(length);
        }
        if (symbols.size() != length) {
            findings.add(Kind::HistoryLength, line,
                         tr("this history has %1 symbols, but the first history, on line %2, "
                            "has %3.")
                             .arg(symbols.size())
                             .arg(firstLine)
                             .arg(length));
            previousReadIsLast = false;
            return;
        }
        const int order = rankSymbols(symbols, previousReadIsLast ? unchanged : 0);
        if (order == 0)
            reportTwice(symbols, previousLine, line);
        else if (order < 0 && ordered)
            leaveOrder();

        if (!ordered) {
            const quint64 key = fingerprint(symbols);
            const auto it = seen.constFind(key);
            if (it == seen.cend())
                seen.insert(key, line);
            else if (order != 0)
                reportTwice(symbols, it.value(), line);
        } else if (order != 0 && earlyCovered) {
            if (early.size() < EarlyHistories)
                early.append({fingerprint(symbols), line});
            else
                forgetEarly();
        }
        previousLine = line;
        havePrevious = true;
        previousReadIsLast = true;
    }

private:
    static constexpr qsizetype EarlyHistories = 65536;
    static constexpr qsizetype ShortColumn = 8; // symbols looked up one by one

    struct Column {
        QList<QByteArray> symbols;     // in the order of first appearance
        QHash<QByteArray, int> rankOf; // once a column has many
    };
    struct Seen {
        quint64 fingerprint;
        qint64 line;
    };

    // Ranks the symbols from `first` on, the ones before being those of the previous history,
    // and tells how the history compares with the previous one: -1, 0 or 1.
    int rankSymbols(const QList<QByteArrayView> &symbols, qsizetype first) {
        int order = havePrevious ? 0 : 1;
        for (qsizetype i = first; i < length; ++i) {
            const int rank = rankIn(columns[i], symbols.at(i));
            if (order == 0 && rank != ranks.at(i))
                order = rank < ranks.at(i) ? -1 : 1;
            ranks[i] = rank;
        }
        return order;
    }

    static int rankIn(Column &column, QByteArrayView symbol) {
        if (column.rankOf.isEmpty()) {
            for (qsizetype rank = 0; rank < column.symbols.size(); ++rank) {
                if (column.symbols.at(rank) == symbol)
                    return int(rank);
            }
        } else {
            const auto it = column.rankOf.constFind(symbol.toByteArray());
            if (it != column.rankOf.cend())
                return it.value();
        }
        const int rank = int(column.symbols.size());
        column.symbols.append(symbol.toByteArray());
        if (!column.rankOf.isEmpty()) {
            column.rankOf.insert(column.symbols.constLast(), rank);
        } else if (column.symbols.size() > ShortColumn) {
            for (int i = 0; i < column.symbols.size(); ++i)
                column.rankOf.insert(column.symbols.at(i), i);
        }
        return rank;
    }

    static quint64 fingerprint(const QList<QByteArrayView> &symbols) {
        size_t hash = 0;
        for (const QByteArrayView symbol : symbols)
            hash = qHash(symbol, hash ^ size_t(symbol.size()));
        return quint64(hash);
    }

    void leaveOrder() {
        ordered = false;
        for (const Seen &history : std::as_const(early))
            seen.insert(history.fingerprint, history.line);
        forgetEarly();
    }

    void forgetEarly() {
        early = QList<Seen>();
        earlyCovered = false;
    }

    void reportTwice(const QList<QByteArrayView> &symbols, qint64 firstSeen, qint64 line) {
        QStringList texts;
        for (const QByteArrayView symbol : symbols)
            texts.append(QString::fromUtf8(symbol));
        findings.add(Kind::HistoryTwice, line,
                     tr("the history %1 is listed twice, on line %2 and here.")
                         .arg(quoted(texts.join(u' ')))
                         .arg(firstSeen));
    }

    Findings &findings;
    qsizetype length = -1;
    qint64 firstLine = 0;
    QList<Column> columns;
    QList<int> ranks; // of the last history of the right length
    qint64 previousLine = 0;
    bool havePrevious = false;
    bool previousReadIsLast = false; // the history before this one had the right length
    bool ordered = true;
    bool earlyCovered = true;
    QList<Seen> early;
    QHash<quint64, qint64> seen;
};

// Evaluates expressions for all draws at once: each stack entry holds one value per draw.
//
// For histories it remembers, after each step, the stack's value where the stack holds just
// one: the product so far. When the reader says that a history's first steps are those of the
// previous history, evaluation resumes from there.
class Evaluator {
public:
    explicit Evaluator(int draws)
        : draws(draws) {}

    void evaluate(const Expression &steps, const double *values, double *result) {
        run(steps, 0, values, result, false);
    }

    void evaluateHistory(const Expression &steps, qsizetype unchanged, const double *values,
                         double *result) {
        const bool resumable =
            unchanged > 0 && unchanged <= remembered && depths.at(unchanged) == 1;
        run(steps, resumable ? unchanged : 0, values, result, true);
    }

    void forgetHistory() { remembered = 0; }

private:
    void run(const Expression &steps, qsizetype first, const double *values, double *result,
             bool remember) {
        const qsizetype d = draws;
        const qsizetype entries = (steps.size() + 1) * d;
        if (stack.size() < entries)
            stack.resize(entries);
        if (remember && tops.size() < entries) {
            tops.resize(entries);
            depths.resize(steps.size() + 1);
        }
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

    // Replaces the entry below the top with (below op top), for every draw.
    template<class Operation> static void combine(double *top, qsizetype draws, Operation op) {
        double *below = top - draws;
        for (qsizetype k = 0; k < draws; ++k)
            below[k] = op(below[k], top[k]);
    }

    const int draws;
    QList<double> stack;
    QList<double> tops;       // by step count, then draw
    QList<qsizetype> depths;  // by step count
    qsizetype remembered = 0; // steps of the last history with tops and depths
};

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
class ProbabilityCheck {
public:
    ProbabilityCheck(Findings &findings, quint32 seed, int draws)
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

    void makeRoomFor(int nameCount) {
        if (values.size() < qsizetype(nameCount) * draws)
            values.resize(qsizetype(nameCount) * draws, std::numeric_limits<double>::quiet_NaN());
    }

    void drawParameter(int name) {
        for (int draw = 0; draw < draws; ++draw) {
            double value = 0;
            while (value == 0)
                value = generators[draw].generateDouble();
            values[qsizetype(name) * draws + draw] = value;
        }
    }

    void defineVariable(int name, const Expression &expression, bool evaluable) {
        if (evaluable)
            evaluator.evaluate(expression, values.constData(), cell.data());
        else
            cell.fill(std::numeric_limits<double>::quiet_NaN());
        std::copy(cell.cbegin(), cell.cend(), values.begin() + qsizetype(name) * draws);
    }

    void addCell(const Expression &expression, qsizetype unchanged, qint64 line, bool evaluable) {
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

    // Histories whose cells could not be evaluated (a name without value, reported already)
    // leave the sum unknown.
    void finish(qint64 likelihoodLine) {
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

private:
    struct Cell {
        double value = -std::numeric_limits<double>::infinity();
        qint64 line = 0;
    };
    using Largest = std::array<Cell, LargestCellsShown>; // largest first

    quint32 seedOf(int draw) const { return seed + quint32(draw); }

    static void rememberIfLarge(Largest &cells, double value, qint64 line) {
        if (!(value > cells.back().value))
            return;
        qsizetype i = cells.size() - 1;
        for (; i > 0 && cells[i - 1].value < value; --i)
            cells[i] = cells[i - 1];
        cells[i] = {value, line};
    }

    static QString largestCells(const Largest &cells) {
        QStringList shown;
        for (const Cell &cell : cells) {
            if (cell.line > 0)
                shown.append(tr("%1 (%2)").arg(cell.line).arg(cell.value, 0, 'g', 6));
        }
        return shown.join(QStringLiteral(", "));
    }

    Findings &findings;
    const quint32 seed;
    const int draws;
    QList<QRandomGenerator> generators;
    QList<double> values; // by name, then draw; NaN where a name has no value
    Evaluator evaluator;
    QList<double> cell; // the value being evaluated, by draw
    QList<CompensatedSum> sums;
    QList<Largest> largest;
    quint64 cellCount = 0;
    bool everyCellEvaluated = true;
};

// A device that passes on the bytes of another as they are read, and shows them to an
// observer: the comparison with the writer sees every block once, as the reader takes it.
class ObservedDevice : public QIODevice {
public:
    ObservedDevice(QIODevice &source, std::function<void(QByteArrayView)> observer)
        : source(source)
        , observer(std::move(observer)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    bool waitForReadyRead(int msecs) override { return source.waitForReadyRead(msecs); }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        const qint64 got = source.read(data, maxSize);
        if (got > 0)
            observer(QByteArrayView(data, got));
        else if (got < 0)
            setErrorString(source.errorString());
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice &source;
    std::function<void(QByteArrayView)> observer;
};

// Reads the file item by item and hands each item to the checks that concern it.
class ModelCheck {
public:
    explicit ModelCheck(const ModelCheckSettings &settings)
        : settings(settings)
        , probabilities(findings, settings.seed, settings.draws) {}

    ModelCheckResult run(QIODevice &device) {
        std::unique_ptr<WriterComparison> comparison;
        std::unique_ptr<ObservedDevice> observed;
        if (settings.expected) {
            comparison = std::make_unique<WriterComparison>(*settings.expected);
            observed = std::make_unique<ObservedDevice>(
                device, [&comparison](QByteArrayView bytes) { comparison->compare(bytes); });
        }
        ModelDefinitionReader reader(observed ? *observed : device);
        NameCheck names(findings, reader);
        ModelCheckResult result;
        for (;;) {
            const ModelDefinitionReader::Item item = reader.readNext();
            names.makeRoomFor(reader.nameCount());
            probabilities.makeRoomFor(reader.nameCount());
            switch (item) {
            case ModelDefinitionReader::Item::Section:
                if (reader.section() == ModelDefinitionReader::Section::Likelihood) {
                    likelihoodLine = reader.line();
                    names.closeVariables();
                }
                break;
            case ModelDefinitionReader::Item::Parameter:
                if (names.declareParameter(reader.name(), reader.line()))
                    probabilities.drawParameter(reader.name());
                break;
            case ModelDefinitionReader::Item::Variable: {
                const NameCheck::Definition definition =
                    names.defineVariable(reader.name(), reader.expression(), reader.line());
                if (definition.givesValue)
                    probabilities.defineVariable(reader.name(), reader.expression(),
                                                 definition.evaluable);
                break;
            }
            case ModelDefinitionReader::Item::Title:
                break;
            case ModelDefinitionReader::Item::History: {
                ++result.histories;
                histories.add(reader.symbols(), reader.unchangedSymbols(), reader.line());
                const bool evaluable =
                    names.useInHistory(reader.expression(), reader.unchangedSteps(), reader.line());
                probabilities.addCell(reader.expression(), reader.unchangedSteps(), reader.line(),
                                      evaluable);
                break;
            }
            case ModelDefinitionReader::Item::End:
                names.finish();
                probabilities.finish(likelihoodLine);
                if (comparison) {
                    comparison->finish();
                    reportDifference(*comparison);
                }
                return finished(std::move(result));
            case ModelDefinitionReader::Item::Error:
                if (reader.error() == ModelDefinitionReader::Error::Device) {
                    unreadable = true;
                    result.readError = reader.errorString();
                } else {
                    findings.add(Kind::Syntax, reader.errorLine(), reader.errorString(),
                                 reader.errorColumn());
                    // A file that differs from the writer's does so by the place of its syntax
                    // error at the latest, or by ending early.
                    if (comparison) {
                        if (reader.atEnd())
                            comparison->finish();
                        reportDifference(*comparison);
                    }
                }
                return finished(std::move(result));
            }
        }
    }

private:
    void reportDifference(const WriterComparison &comparison) {
        const std::optional<WriterComparison::Difference> difference = comparison.difference();
        if (!difference)
            return;
        findings.add(Kind::DiffersFromOptions, difference->line,
                     tr("this line is not the one written for the given options: from column "
                        "%1 on, expected %2, found %3.")
                         .arg(difference->column)
                         .arg(difference->expected, difference->found),
                     difference->column);
    }

    ModelCheckResult finished(ModelCheckResult result) const {
        result.findings = findings.byLine();
        if (unreadable)
            result.verdict = ModelCheckResult::Verdict::Unreadable;
        else if (findings.hasErrors())
            result.verdict = ModelCheckResult::Verdict::Unsound;
        else
            result.verdict = ModelCheckResult::Verdict::Sound;
        return result;
    }

    const ModelCheckSettings &settings;
    Findings findings;
    HistoryCheck histories{findings};
    ProbabilityCheck probabilities;
    qint64 likelihoodLine = 0;
    bool unreadable = false;
};

} // namespace

ModelCheckResult checkModelDefinition(QIODevice &device, const ModelCheckSettings &settings) {
    return ModelCheck(settings).run(device);
}

QString formatFinding(const ModelCheckFinding &finding) {
    const QString severity =
        finding.severity == ModelCheckFinding::Severity::Error ? tr("error") : tr("warning");
    if (finding.column > 0) {
        return tr("line %1, column %2: %3: %4")
            .arg(finding.line)
            .arg(finding.column)
            .arg(severity, finding.message);
    }
    return tr("line %1: %2: %3").arg(finding.line).arg(severity, finding.message);
}
