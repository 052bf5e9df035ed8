// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionprocess.h"
#include "modeldefinitioncheck.h"
#include "modeldefinitionsize.h"
#include "modelvalidation.h"
#include "sanitizers.h"
#include "streamedfiles.h"
#include "workedexamples.h"
#include "writertestsupport.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <functional>

using Kind = ModelCheckFinding::Kind;
using Severity = ModelCheckFinding::Severity;
using Verdict = ModelCheckResult::Verdict;

namespace {

// Hands out its bytes a few at a time and cannot seek, as a pipe does; fails for good once
// `failAfter` bytes are out, as a disk with a bad sector does.
class TrickleDevice : public QIODevice {
public:
    TrickleDevice(const QByteArray &bytes, qint64 chunk, qint64 failAfter = -1)
        : bytes(bytes)
        , chunk(chunk)
        , failAfter(failAfter) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        if (failAfter >= 0 && given >= failAfter) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        qint64 count = std::min({maxSize, chunk, qint64(bytes.size()) - given});
        if (failAfter >= 0)
            count = std::min(count, failAfter - given);
        std::memcpy(data, bytes.constData() + given, size_t(count));
        given += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray bytes;
    qint64 chunk;
    qint64 failAfter;
    qint64 given = 0;
};

ModelCheckResult check(const QByteArray &bytes, const ModelCheckSettings &settings = {}) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return checkModelDefinition(buffer, settings);
}

ModelCheckSettings expecting(const ModelOptions &options) {
    ModelCheckSettings settings;
    settings.expected = options;
    return settings;
}

QByteArray withCrLf(QByteArray bytes) {
    return bytes.replace("\n", "\r\n");
}

// Line ends as old Mac editors save them.
QByteArray withCr(QByteArray bytes) {
    return bytes.replace("\n", "\r");
}

QString describe(const ModelCheckResult &result) {
    QStringList lines;
    for (const ModelCheckFinding &finding : result.findings)
        lines.append(formatFinding(finding));
    if (!result.readError.isEmpty())
        lines.append(result.readError);
    return lines.isEmpty() ? QStringLiteral("no findings") : lines.join(u'\n');
}

const ModelCheckFinding *findingOf(const ModelCheckResult &result, Kind kind) {
    const auto it = std::find_if(result.findings.cbegin(), result.findings.cend(),
                                 [kind](const ModelCheckFinding &f) { return f.kind == kind; });
    return it == result.findings.cend() ? nullptr : &*it;
}

const ModelCheckFinding *findingAt(const ModelCheckResult &result, Kind kind, qint64 line,
                                   qint64 column) {
    const auto it = std::find_if(result.findings.cbegin(), result.findings.cend(),
                                 [&](const ModelCheckFinding &f) {
                                     return f.kind == kind && f.line == line && f.column == column;
                                 });
    return it == result.findings.cend() ? nullptr : &*it;
}

// ---- Editing a written file by its histories, while it is read ----

// One history removed, repeated further down, or one of its symbols replaced.
struct HistoryEdit {
    enum class Kind { None, Remove, Repeat, Replace };
    Kind kind = Kind::None;
    quint64 place = 0; // of the history edited, in the writer's order
    quint64 after = 0; // Repeat: the history its copy follows
    int symbol = 0;    // Replace: which one, from 0
    QByteArray text;   // Replace: the new symbol

    static HistoryEdit removal(quint64 place) { return {Kind::Remove, place, 0, 0, {}}; }
    static HistoryEdit repeat(quint64 place, quint64 after) {
        return {Kind::Repeat, place, after, 0, {}};
    }
    static HistoryEdit replacement(quint64 place, int symbol, const QByteArray &text) {
        return {Kind::Replace, place, 0, symbol, text};
    }
};

EditedWrittenFile::Edit editOf(const HistoryEdit &edit) {
    using EditKind = HistoryEdit::Kind;
    if (edit.kind == EditKind::None)
        return {};
    return [edit, copy = QByteArray()](quint64 history, const QByteArray &line,
                                       QByteArrayList &out) mutable {
        if (history == edit.place)
            copy = line;
        if (history == edit.place && edit.kind == EditKind::Remove)
            return;
        if (history == edit.place && edit.kind == EditKind::Replace) {
            const qsizetype comma = line.indexOf(',');
            QByteArrayList symbols = line.first(comma).split(' ');
            symbols[edit.symbol] = edit.text;
            out.append(symbols.join(' ') + line.sliced(comma));
            return;
        }
        out.append(line);
        if (history == edit.after && edit.kind == EditKind::Repeat)
            out.append(copy);
    };
}

ModelOptions withHistories(int numPeriods, bool censoring, bool release) {
    ModelOptions options = withPeriods(numPeriods, censoring);
    options.initialRelease = release;
    return options;
}

// Where symbol i (from 0) of a history row of the default single-character symbols stands.
int symbolColumn(int i) {
    return 2 * i + 1;
}

// ---- Editing a written file by its lines (numbered from 1) ----

int lineStarting(const QByteArray &file, const QByteArray &prefix) {
    const QByteArrayList lines = file.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).startsWith(prefix))
            return int(i + 1);
    }
    qFatal("no line starts with \"%s\"", prefix.constData());
}

QByteArray lineAt(const QByteArray &file, int line) {
    return file.split('\n').at(line - 1);
}

QByteArray replacedInLine(const QByteArray &file, int line, const QByteArray &from,
                          const QByteArray &to) {
    QByteArrayList lines = file.split('\n');
    QByteArray &text = lines[line - 1];
    const qsizetype at = text.indexOf(from);
    if (at < 0)
        qFatal("line %d has no \"%s\"", line, from.constData());
    text.replace(at, from.size(), to);
    return lines.join('\n');
}

QByteArray withoutLine(const QByteArray &file, int line) {
    QByteArrayList lines = file.split('\n');
    lines.removeAt(line - 1);
    return lines.join('\n');
}

QByteArray withLineInserted(const QByteArray &file, int before, const QByteArray &text) {
    QByteArrayList lines = file.split('\n');
    lines.insert(before - 1, text);
    return lines.join('\n');
}

// Detection made constant: every p<i> becomes p1, and p1 is declared once.
QByteArray withConstantDetection(const QByteArray &file) {
    QString text = QString::fromUtf8(file);
    text.replace(QRegularExpression(QStringLiteral("\\bp\\d+\\b")), QStringLiteral("p1"));
    const qsizetype begin = text.indexOf(u'\n') + 1;
    const qsizetype end = text.indexOf(u';', begin);
    QStringList declared;
    for (const QString &item : text.mid(begin, end - begin).split(u',')) {
        if (!declared.contains(item.trimmed()))
            declared.append(item.trimmed());
    }
    text.replace(begin, end - begin, declared.join(QStringLiteral(", ")));
    return text.toUtf8();
}

// The histories in another order, each still ending with "," but the last with ";".
QByteArray withHistoriesReordered(const QByteArray &file,
                                  const std::function<void(QByteArrayList &)> &reorder) {
    QByteArrayList lines = file.split('\n');
    const qsizetype first = lines.indexOf("\"CJS Likelihood\"") + 1;
    QByteArrayList histories = lines.mid(first, lines.size() - 1 - first);
    for (QByteArray &history : histories)
        history.chop(1);
    reorder(histories);
    for (qsizetype i = 0; i < histories.size(); ++i)
        histories[i].append(i + 1 < histories.size() ? ',' : ';');
    return (lines.mid(0, first) + histories).join('\n') + '\n';
}

// ---- Inputs of a line of tens of MB, or of millions of names, made as they are read ----

const QByteArray ExampleHead = "parameters\ns0, p1, lambda;\n\nvariables\nX1 = 1 - lambda,\n"
                               "X0 = 1 - s0 + s0*(1-p1)*X1;\n\nlikelihood\n\"CJS Likelihood\"\n";

// Worked example A with its third history's product multiplied by 1 `factors` times.
std::function<QByteArray()> longProduct(qint64 factors) {
    return repeated(ExampleHead + "0 0, X0,\n0 1, s0*(1-p1)*lambda,\n1 0, s0*p1*X1", "*1", factors,
                    ",\n1 1, s0*p1*lambda;\n");
}

// The parameters n0, n1, ... on one line.
std::function<QByteArray()> manyNames(qint64 count) {
    return [count, next = qint64(-1)]() mutable -> QByteArray {
        if (next < 0) {
            next = 0;
            return "parameters\n";
        }
        QByteArray chunk;
        for (; next < count && chunk.size() < (1 << 16); ++next)
            chunk += 'n' + QByteArray::number(next) + ", ";
        return next == count && chunk.isEmpty() ? QByteArray() : chunk;
    };
}

std::function<QByteArray()> longInput(const QString &name) {
    const QByteArray tail =
        "0 0, X0,\n0 1, s0*(1-p1)*lambda,\n1 0, s0*p1*X1,\n1 1, s0*p1*lambda;\n";
    if (name == "history_of_2000000_symbols")
        return repeated(ExampleHead, "0 ", 2000000, "0, X0;\n");
    if (name == "variable_of_2000000_terms")
        return repeated(ExampleHead.first(ExampleHead.indexOf(";\n\nlikelihood")), " + 0*s0",
                        2000000, ";\n\nlikelihood\n\"CJS Likelihood\"\n" + tail);
    if (name == "product_of_6000000_factors")
        return longProduct(6000000);
    if (name == "line_of_50_MB")
        return longProduct(25000000);
    if (name == "symbol_of_2_MB")
        return repeated(ExampleHead, "0", 2 << 20, " 0, X0;\n");
    if (name == "title_of_2_MB") {
        return repeated(ExampleHead.first(ExampleHead.indexOf("\"CJS")) + '"', "T", 2 << 20,
                        "\"\n" + tail);
    }
    if (name == "name_of_30_MB")
        return repeated("parameters\ns0, p1, lambda, ", "a", 30 << 20, ";\n");
    if (name == "2000000_names")
        return manyNames(2000000);
    qFatal("no input %s", qPrintable(name));
}

// ---- Random options that the form would accept without a warning ----

QString randomName(QRandomGenerator &random) {
    static const QString starts =
        QStringLiteral("abcdefghijkmnopqrstuvwxyzABCDEFGHIJKLMNPQRSTUVWXYZ_"
                       "\u03c6\u03bb\u03a3\u00e9\u00df\u0436");
    static const QString parts = starts + QStringLiteral("0123456789");
    QString name = starts.at(random.bounded(int(starts.size())));
    for (int i = random.bounded(3); i > 0; --i)
        name += parts.at(random.bounded(int(parts.size())));
    return name;
}

QStringList randomSymbols(QRandomGenerator &random) {
    QStringList pool = {QStringLiteral("0"),      QStringLiteral("1"),      QStringLiteral("2"),
                        QStringLiteral("."),      QStringLiteral("x"),      QStringLiteral("D"),
                        QStringLiteral("+"),      QStringLiteral("*"),      QStringLiteral("("),
                        QStringLiteral("\u2713"), QStringLiteral("\u25cb"), QStringLiteral("-1"),
                        QStringLiteral("seen"),   QStringLiteral("\"")};
    QStringList chosen;
    while (chosen.size() < 3)
        chosen.append(pool.takeAt(random.bounded(int(pool.size()))));
    return chosen;
}

ModelOptions randomOptions(QRandomGenerator &random) {
    for (;;) {
        ModelOptions options;
        options.numPeriods = random.bounded(2, 10);
        options.censoring = random.bounded(2) == 1;
        options.initialRelease = random.bounded(2) == 1;
        options.initialSurvivalIndex = random.bounded(100);
        options.survivalParameter = randomName(random);
        options.detectionParameter = randomName(random);
        options.censoringParameter = randomName(random);
        options.finalParameter = randomName(random);
        options.noMoreDetections = randomName(random);
        const QStringList symbols = randomSymbols(random);
        options.notDetectedSymbol = symbols.at(0);
        options.detectedSymbol = symbols.at(1);
        options.censoredSymbol = symbols.at(2);
        options.constantSurvival = random.bounded(3) == 0;
        options.constantDetection = random.bounded(3) == 0;
        options.constantCensoring = random.bounded(3) == 0;
        if (validateModel(options, QStringConverter::Utf8).isEmpty())
            return options;
    }
}

// N = 4 with censoring at the form's defaults: parameters on lines 2-3, X3 to X0 on lines 6-9,
// "likelihood" on line 11, the title on 12, histories on lines 13 to 35.
QByteArray baseFile() {
    return writtenBytes(withPeriods(4, true));
}
constexpr int LikelihoodLine = 11;

} // namespace

class TestModelDefinitionCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Whatever the options, the writer's file is sound, read from memory, from a file on disk
    // and from a pipe that hands out a few bytes at a time; and it is the file of its options.
    void writtenFilesPass_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<bool>("crLf");
        QTest::newRow("worked_example_A") << withPeriods(2) << false;
        QTest::newRow("worked_example_B") << withPeriods(3, true) << false;
        QRandomGenerator random(4711);
        for (int row = 0; row < 24; ++row) {
            const ModelOptions options = randomOptions(random);
            const bool crLf = row % 3 == 2;
            QTest::addRow("random%02d_N%d%s%s_S0_%d_%s%s%s%s", row, options.numPeriods,
                          options.censoring ? "_censoring" : "",
                          options.initialRelease ? "_release" : "", options.initialSurvivalIndex,
                          crLf ? "CRLF" : "LF", options.constantSurvival ? "_phi(.)" : "",
                          options.constantDetection ? "_p(.)" : "",
                          options.constantCensoring ? "_c(.)" : "")
                << options << crLf;
        }
        for (const auto &[name, options] : reducedModels(5))
            QTest::addRow("N5_%s", name.constData()) << options << false;
    }
    void writtenFilesPass() {
        QFETCH(ModelOptions, options);
        QFETCH(bool, crLf);
        const QByteArray written = writtenBytes(options);
        const QByteArray file = crLf ? withCrLf(written) : written;

        const ModelCheckResult inMemory = check(file, expecting(options));
        QVERIFY2(inMemory.verdict == Verdict::Sound && inMemory.findings.isEmpty(),
                 qPrintable(describe(inMemory)));
        QCOMPARE(inMemory.histories,
                 historyCount(options.numPeriods, options.censoring).toUInt64Saturated());

        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        QFile onDisk(directory.filePath(QStringLiteral("model.txt")));
        QVERIFY(onDisk.open(QIODevice::WriteOnly) && onDisk.write(file) == file.size());
        onDisk.close();
        QVERIFY(onDisk.open(QIODevice::ReadOnly));
        const ModelCheckResult fromDisk = checkModelDefinition(onDisk, expecting(options));
        QVERIFY2(fromDisk.verdict == Verdict::Sound, qPrintable(describe(fromDisk)));

        TrickleDevice pipe(file, 1 + options.numPeriods % 5);
        const ModelCheckResult fromPipe = checkModelDefinition(pipe, expecting(options));
        QVERIFY2(fromPipe.verdict == Verdict::Sound, qPrintable(describe(fromPipe)));
        QCOMPARE(fromPipe.histories, inMemory.histories);
    }

    // One edit of a written file, and the finding it must give.
    void editsAreFound_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<Severity>("severity");
        QTest::addColumn<int>("line");

        const QByteArray base = baseFile();
        const int history = lineStarting(base, "0 1 1 0,"); // s0*(1-p1)*s1*p2*(1-c2)*s2*p3*...
        const int lastToLambda = lineStarting(base, "0 0 0 1,");
        const int firstHistory = LikelihoodLine + 2;

        QTest::newRow("factor_replaced_by_its_complement")
            << replacedInLine(base, history, "*p2*", "*(1-p2)*") << Kind::CellsDoNotSumToOne
            << Severity::Error << LikelihoodLine;
        QTest::newRow("survival_subscript_changed")
            << replacedInLine(base, history, "s1*", "s2*") << Kind::CellsDoNotSumToOne
            << Severity::Error << LikelihoodLine;
        QTest::newRow("history_removed") << withoutLine(base, history) << Kind::CellsDoNotSumToOne
                                         << Severity::Error << LikelihoodLine;
        QTest::newRow("history_repeated_next_to_it")
            << withLineInserted(base, history + 1, lineAt(base, history)) << Kind::HistoryTwice
            << Severity::Error << history + 1;
        QTest::newRow("history_repeated_far_from_it")
            << withLineInserted(base, firstHistory, lineAt(base, history)) << Kind::HistoryTwice
            << Severity::Error << history + 1;
        QTest::newRow("history_with_a_symbol_less")
            << replacedInLine(base, history, "0 1 1 0,", "0 1 1,") << Kind::HistoryLength
            << Severity::Error << history;
        QTest::newRow("first_history_with_a_symbol_more")
            << replacedInLine(base, firstHistory, "0 0 0 0,", "0 0 0 0 0,") << Kind::HistoryLength
            << Severity::Error << firstHistory;
        QTest::newRow("cell_above_one") << replacedInLine(base, history, ", s0", ", 1 + s0")
                                        << Kind::CellOutOfRange << Severity::Error << history;
        QTest::newRow("negative_cell") << replacedInLine(base, history, ", s0", ", 0 - s0")
                                       << Kind::CellOutOfRange << Severity::Error << history;
        QTest::newRow("parameter_no_longer_declared")
            << replacedInLine(base, 2, "s1, p2,", "s1,") << Kind::UndefinedName << Severity::Error
            << lineStarting(base, "X1 =");
        QTest::newRow("undefined_name_in_a_history")
            << replacedInLine(base, lastToLambda, "lambda", "lambda2") << Kind::UndefinedName
            << Severity::Error << lastToLambda;
        QTest::newRow("parameter_declared_twice")
            << replacedInLine(base, 2, "p2,", "p2, s0,") << Kind::ParameterDeclaredTwice
            << Severity::Error << 2;
        QTest::newRow("parameter_never_used") << replacedInLine(base, 2, "p2,", "p2, p9,")
                                              << Kind::ParameterUnused << Severity::Warning << 2;
        // Renamed consistently, so still sound, but two names now differ only in characters
        // that look alike: the second one is warned about where it is declared or defined.
        QTest::newRow("parameter_renamed_with_a_cyrillic_er")
            << QByteArray(base).replace("p2", QStringLiteral("\u04401").toUtf8())
            << Kind::NamesReadAlike << Severity::Warning << 2;
        QTest::newRow("parameter_renamed_with_a_full_width_letter")
            << QByteArray(base).replace("c3", QStringLiteral("\uff431").toUtf8())
            << Kind::NamesReadAlike << Severity::Warning << 3;
        QTest::newRow("variable_renamed_with_a_greek_chi")
            << QByteArray(base).replace("X2", QStringLiteral("\u03a71").toUtf8())
            << Kind::NamesReadAlike << Severity::Warning << lineStarting(base, "X1 =");
        QTest::newRow("parameter_reads_like_a_later_variable")
            << QByteArray(base).replace("lambda", QStringLiteral("\u03a73").toUtf8())
            << Kind::NamesReadAlike << Severity::Warning << lineStarting(base, "X3 =");
        QTest::newRow("parameter_defined_as_variable")
            << withLineInserted(base, 6, "lambda = 0.5,") << Kind::ParameterDefinedAsVariable
            << Severity::Error << 6;
        QTest::newRow("variable_defined_twice")
            << withLineInserted(base, 8, lineAt(base, 7)) << Kind::VariableDefinedTwice
            << Severity::Error << 8;
        QTest::newRow("variable_used_above_its_definition")
            << withLineInserted(withoutLine(base, 6), 7, lineAt(base, 6)) << Kind::VariableUsedEarly
            << Severity::Error << 6;
        QTest::newRow("variable_defined_by_itself")
            << replacedInLine(base, 6, "lambda", "lambda*X3") << Kind::VariableDefinedByItself
            << Severity::Error << 6;
        QTest::newRow("unbalanced_parenthesis")
            << replacedInLine(base, history, "s0*(1-p1)*", "s0*(1-p1*") << Kind::Syntax
            << Severity::Error << history;
    }
    void editsAreFound() {
        QFETCH(QByteArray, file);
        QFETCH(Kind, kind);
        QFETCH(Severity, severity);
        QFETCH(int, line);
        const ModelCheckResult result = check(file);
        const ModelCheckFinding *finding = findingOf(result, kind);
        QVERIFY2(finding, qPrintable(describe(result)));
        QCOMPARE(finding->severity, severity);
        QCOMPARE(finding->line, line);
        QVERIFY(!finding->message.isEmpty());
        QCOMPARE(result.verdict, severity == Severity::Error ? Verdict::Unsound : Verdict::Sound);
        if (kind != Kind::Syntax)
            QVERIFY2(!findingOf(result, Kind::Syntax), qPrintable(describe(result)));
    }

    // Each repeat of a declaration or definition is reported once, at its own line and column,
    // naming where the first one is; and rows of another length than the first are reported
    // even when a syntax error ends the reading further down.
    void eachFindingAtItsPlace_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QStringList>("places"); // "line:column" of each repeat
        QTest::addColumn<QString>("first");
        const QByteArray base = baseFile();
        QTest::newRow("parameter_three_times_on_a_line")
            << replacedInLine(WorkedExampleA, 2, "s0, p1, lambda;", "s0, p1, s0, lambda, s0;")
            << Kind::ParameterDeclaredTwice << QStringList{"2:9", "2:21"} << "line 2, column 1";
        QTest::newRow("parameter_again_on_the_next_line")
            << replacedInLine(base, 3, "lambda;", "s1, lambda;") << Kind::ParameterDeclaredTwice
            << QStringList{"3:17"} << "line 2, column 13";
        QTest::newRow("variable_three_times")
            << withLineInserted(withLineInserted(base, 8, lineAt(base, 7)), 8, lineAt(base, 7))
            << Kind::VariableDefinedTwice << QStringList{"8:1", "9:1"} << "line 7, column 1";
        const int history = lineStarting(base, "0 1 1 0,");
        QTest::newRow("history_with_a_symbol_less_before_a_syntax_error")
            << replacedInLine(replacedInLine(base, history, "0 1 1 0,", "0 1 1,"), history + 3,
                              "*s1*", "*s1 ")
            << Kind::HistoryLength << QStringList{QStringLiteral("%1:1").arg(history)}
            << QStringLiteral("the first history, on line %1").arg(LikelihoodLine + 2);
    }
    void eachFindingAtItsPlace() {
        QFETCH(QByteArray, file);
        QFETCH(Kind, kind);
        QFETCH(QStringList, places);
        QFETCH(QString, first);
        const ModelCheckResult result = check(file);
        QStringList found;
        for (const ModelCheckFinding &finding : result.findings) {
            if (finding.kind != kind)
                continue;
            found.append(QStringLiteral("%1:%2").arg(finding.line).arg(finding.column));
            QVERIFY2(finding.message.contains(first), qPrintable(finding.message));
        }
        QCOMPARE(found, places);
        QCOMPARE(result.verdict, Verdict::Unsound);
    }

    // Edits that keep the model sound: a hand-made constraint (detection constant over time)
    // and histories in another order than the writer's.
    void soundEditsPass_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("N4_constant_detection")
            << withConstantDetection(writtenBytes(withPeriods(4)));
        QTest::newRow("N4_censoring_constant_detection")
            << withConstantDetection(writtenBytes(withPeriods(4, true)));
        // Only similar: a capital letter is told apart by every reader.
        QTest::newRow("N4_censoring_capital_letter_only_similar")
            << QByteArray(writtenBytes(withPeriods(4, true))).replace("p2", "P1");
        QTest::newRow("N4_censoring_constant_detection_CRLF")
            << withCrLf(withConstantDetection(writtenBytes(withPeriods(4, true))));
        ModelOptions released = withPeriods(6, true);
        released.initialRelease = true;
        QTest::newRow("N6_histories_in_reverse_order")
            << withHistoriesReordered(writtenBytes(released), [](QByteArrayList &histories) {
                   std::reverse(histories.begin(), histories.end());
               });
        QTest::newRow("N6_histories_shuffled")
            << withHistoriesReordered(writtenBytes(released), [](QByteArrayList &histories) {
                   QRandomGenerator random(17);
                   std::shuffle(histories.begin(), histories.end(), random);
               });
    }
    void soundEditsPass() {
        QFETCH(QByteArray, file);
        const ModelCheckResult result = check(file);
        QVERIFY2(result.verdict == Verdict::Sound && result.findings.isEmpty(),
                 qPrintable(describe(result)));
    }

    // The rows must be exactly the complete set of histories, each once, whatever N and with or
    // without censoring and the initial release: any single row removed (at either end, in the
    // middle, the one of the smallest cell), repeated after more than 65,536 rows, or with a
    // symbol mistyped is found where it is, whatever the line ends. The files are the
    // writer's, edited while they are read; the largest take hundreds of MB and are never held.
    void historySetsAreCheckedExactly_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<QByteArray>("start"); // before "parameters"
        QTest::addColumn<HistoryEdit>("edit");
        QTest::addColumn<Kind>("kind"); // Syntax: sound
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QString>("sumSaid"); // empty: the cells still sum to 1

        for (const int n : {2, 3, 4, 5, 7, 9, 12, 15, 17, 20}) {
            for (const bool censoring : {false, true}) {
                for (const bool release : {false, true}) {
                    // The largest only in two of the four ways, to spare time.
                    if (n == 20 && censoring != release)
                        continue;
                    const ModelOptions o = withHistories(n, censoring, release);
                    const bool large = n >= 17;
                    // Old Mac and Windows line ends, and a byte-order mark, in some of them.
                    const QByteArray lineEnd = n == 5 || n == 9 ? "\r" : n == 7 ? "\r\n" : "\n";
                    const QByteArray start = n == 9 || n == 12 ? "\xEF\xBB\xBF" : "";
                    const QByteArray name = QByteArray("N") + QByteArray::number(n)
                                            + (censoring ? "_censoring" : "")
                                            + (release ? "_release" : "");
                    const int first = firstHistoryLine(o);
                    const quint64 count = historiesOf(o);
                    const int last = 2 * (n + (release ? 1 : 0) - 1); // index of the last symbol
                    const auto row = [&](const char *what) {
                        return &QTest::newRow((name + '_' + what).constData());
                    };
                    const auto removed = [&](const char *what, quint64 place,
                                             const QString &sumSaid) {
                        const bool lastOne = place == count - 1;
                        *row(what)
                            << o << lineEnd << start << HistoryEdit::removal(place)
                            << Kind::HistoryMissing << int(first + place - (lastOne ? 1 : 0)) << 1
                            << QStringList{QStringLiteral("1 of the %1 histories").arg(count),
                                           QString::fromUtf8('"' + historySymbols(o, place) + '"')}
                            << sumSaid;
                    };
                    *row("written") << o << lineEnd << start << HistoryEdit{} << Kind::Syntax << 0
                                    << 0 << QStringList() << QString();
                    // From 7 occasions on these cells are tiny in the random draws: the
                    // balanced draw is the one that misses most.
                    const QString smallestMissed =
                        n >= 7 ? QStringLiteral("in the balanced draw") : QStringLiteral("not 1");
                    QList<int> allDetected(n, 1);
                    removed("smallest_cell_removed", placeOf(o, allDetected), smallestMissed);
                    if (censoring && n >= 3) { // at N = 2, "2 0" is the only censored row
                        QList<int> censoredLate(n, 1);
                        censoredLate[n - 2] = 2;
                        censoredLate[n - 1] = 0;
                        removed("smallest_censored_cell_removed", placeOf(o, censoredLate),
                                smallestMissed);
                    }
                    const quint64 repeated = std::min<quint64>(10, count / 2);
                    const quint64 after = std::min<quint64>(count - 1, repeated + 70000);
                    *row("history_repeated_far_below")
                        << o << lineEnd << start << HistoryEdit::repeat(repeated, after)
                        << Kind::HistoryTwice << int(first + after + 1) << 1
                        << QStringList{QString::fromUtf8('"' + historySymbols(o, repeated) + '"'),
                                       QStringLiteral("first appears on line %1")
                                           .arg(first + repeated)}
                        << QStringLiteral("not 1");
                    if (large)
                        continue;
                    removed("first_removed", 0, QStringLiteral("not 1"));
                    removed("middle_removed", count / 2, QStringLiteral("not 1"));
                    if (!(censoring && n == 2)) // "2 0" is the only censored row there
                        removed("last_removed", count - 1, QStringLiteral("not 1"));
                    *row("last_column_mistyped")
                        << o << lineEnd << start << HistoryEdit::replacement(1, last / 2, "l")
                        << Kind::HistorySymbol << first + 1 << symbolColumn(last / 2)
                        << QStringList{QStringLiteral("\"l\"")} << QString();
                    if (n >= 3) { // at N = 2, "l 0" reads as a complete censoring
                        *row("first_row_mistyped")
                            << o << lineEnd << start << HistoryEdit::replacement(0, 0, "l")
                            << Kind::HistorySymbol << first << 1
                            << QStringList{QStringLiteral("\"l\"")} << QString();
                    }
                    if (censoring) {
                        *row("fourth_symbol")
                            << o << lineEnd << start << HistoryEdit::replacement(count / 3, 1, "x")
                            << Kind::HistorySymbol << int(first + count / 3) << symbolColumn(1)
                            << QStringList{QStringLiteral("\"x\"")} << QString();
                    }
                    if (censoring && n >= 3) {
                        QList<int> censoredLast(n, 0);
                        censoredLast[n - 2] = 2;
                        const quint64 place = placeOf(o, censoredLast);
                        *row("detection_after_censoring")
                            << o << lineEnd << start
                            << HistoryEdit::replacement(place, last / 2, "1") << Kind::HistorySymbol
                            << int(first + place) << symbolColumn(last / 2)
                            << QStringList{QStringLiteral("after the censored detection in "
                                                          "column %1")
                                               .arg(symbolColumn(last / 2 - 1)),
                                           QStringLiteral("not \"1\"")}
                            << QString();
                    }
                }
            }
        }
    }
    void historySetsAreCheckedExactly() {
        QFETCH(ModelOptions, options);
        QFETCH(QByteArray, lineEnd);
        QFETCH(QByteArray, start);
        QFETCH(HistoryEdit, edit);
        QFETCH(Kind, kind);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QStringList, said);
        QFETCH(QString, sumSaid);
        if (UnderThreadSanitizer && options.numPeriods > 12)
            QSKIP("files of tens of MB and more are left to the builds without ThreadSanitizer");
        EditedWrittenFile file(options, editOf(edit), lineEnd, start);
        const ModelCheckResult result = checkModelDefinition(file);
        if (kind == Kind::Syntax) {
            QVERIFY2(result.verdict == Verdict::Sound && result.findings.isEmpty(),
                     qPrintable(describe(result)));
            QVERIFY(result.balancedDraw);
            QCOMPARE(result.histories, historiesOf(options));
            return;
        }
        QCOMPARE(result.verdict, Verdict::Unsound);
        const ModelCheckFinding *finding = findingAt(result, kind, line, column);
        QVERIFY2(finding, qPrintable(describe(result)));
        for (const QString &piece : std::as_const(said))
            QVERIFY2(finding->message.contains(piece), qPrintable(finding->message));
        const ModelCheckFinding *sum = findingOf(result, Kind::CellsDoNotSumToOne);
        QVERIFY2(bool(sum) == !sumSaid.isEmpty(), qPrintable(describe(result)));
        QVERIFY2(!sum || sum->message.contains(sumSaid), qPrintable(describe(result)));
        QVERIFY2(!findingOf(result, Kind::Syntax), qPrintable(describe(result)));
    }

    // A file whose map of histories would take more than the check may give it (here six
    // pages of 4 KiB, for 2^16 histories: full at the 32,768th) is checked in the writer's
    // order: complete when its rows run through every history in turn, forward or backward;
    // rows out of that order end the check with a finding at the first of them.
    void largeSetsInTheWritersOrder_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Kind>("kind"); // Syntax: sound
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("said");
        const QByteArray plain = writtenBytes(withPeriods(16));
        const ModelOptions censored = withHistories(16, true, true);
        const int first = firstHistoryLine(withPeriods(16));
        const auto reordered = [](const QByteArray &file, auto &&reorder) {
            return withHistoriesReordered(file, reorder);
        };
        QTest::newRow("in_order") << plain << Kind::Syntax << 0 << QString();
        QTest::newRow("in_order_censoring_release")
            << writtenBytes(censored) << Kind::Syntax << 0 << QString();
        QTest::newRow("backward") << reordered(plain, [](QByteArrayList &histories) {
            std::reverse(histories.begin(), histories.end());
        }) << Kind::Syntax << 0 << QString();
        QTest::newRow("shuffled") << reordered(plain,
                                               [](QByteArrayList &histories) {
                                                   QRandomGenerator random(5);
                                                   std::shuffle(histories.begin(), histories.end(),
                                                                random);
                                               })
                                  << Kind::BeyondLimits << first + 1 << "not in the order";
        QTest::newRow("row_missing_early") << withoutLine(plain, first + 100) << Kind::BeyondLimits
                                           << first + 100 << "not in the order";
        QTest::newRow("row_missing_late") << withoutLine(plain, first + 50000) << Kind::BeyondLimits
                                          << first + 50000 << "does not follow the one before";
        QTest::newRow("last_rows_missing")
            << reordered(plain, [](QByteArrayList &histories) { histories.resize(65533); })
            << Kind::HistoryMissing << first + 65532
            << "3 of the 65536 histories of 16 occasions are missing";
    }
    void largeSetsInTheWritersOrder() {
        QFETCH(QByteArray, file);
        QFETCH(Kind, kind);
        QFETCH(int, line);
        QFETCH(QString, said);
        ModelCheckSettings settings;
        settings.historyMapBytes = 6 * 4096;
        const ModelCheckResult result = check(file, settings);
        if (kind == Kind::Syntax) {
            QVERIFY2(result.verdict == Verdict::Sound && result.findings.isEmpty(),
                     qPrintable(describe(result)));
            return;
        }
        QCOMPARE(result.verdict, Verdict::Unsound);
        const ModelCheckFinding *finding = findingOf(result, kind);
        QVERIFY2(finding && finding->line == line && finding->message.contains(said),
                 qPrintable(describe(result)));
    }

    // A factor put as its complement in the smallest cell of a large model changes the sum by
    // far less than the random draws can see; the balanced draw, in which no cell is tiny, sees
    // it and is named.
    void balancedDrawSeesTheSmallestCell_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("detection_complemented")
            << withPeriods(16) << QByteArray("*p9*") << QByteArray("*(1-p9)*");
        QTest::newRow("survival_complemented")
            << withHistories(16, true, false) << QByteArray("*s9*") << QByteArray("*(1-s9)*");
        QTest::newRow("censoring_complemented")
            << withHistories(16, true, true) << QByteArray("*(1-c9)*") << QByteArray("*c9*");
    }
    void balancedDrawSeesTheSmallestCell() {
        QFETCH(ModelOptions, options);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QList<int> allDetected(options.numPeriods, 1);
        const quint64 smallest = placeOf(options, allDetected);
        EditedWrittenFile file(
            options, [&](quint64 history, const QByteArray &line, QByteArrayList &out) {
                out.append(history == smallest ? QByteArray(line).replace(from, to) : line);
            });
        const ModelCheckResult result = checkModelDefinition(file);
        QCOMPARE(result.verdict, Verdict::Unsound);
        QCOMPARE(result.findings.size(), 1);
        const ModelCheckFinding &sum = result.findings.constFirst();
        QCOMPARE(sum.kind, Kind::CellsDoNotSumToOne);
        QVERIFY2(sum.message.contains(QStringLiteral("in the balanced draw")),
                 qPrintable(sum.message));
        QVERIFY2(!sum.message.contains(QStringLiteral("misses 1 in")), qPrintable(sum.message));
    }

    // What a hand editor may do to the layout of worked example A, and still mean it.
    void handWrittenLayoutsRead_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("all_on_one_line")
            << QByteArray("parameters s0, p1, lambda; variables X1 = 1 - lambda, X0 = 1 - s0 + "
                          "s0*(1-p1)*X1; likelihood \"CJS Likelihood\" 0 0, X0, 0 1, "
                          "s0*(1-p1)*lambda, 1 0, s0*p1*X1, 1 1, s0*p1*lambda;");
        QTest::newRow("items_split_over_lines_with_tabs_and_blank_lines")
            << QByteArray("\n\nparameters\n\ts0 ,\n\tp1 ,\n\tlambda\n;\n\n\nvariables\nX1\n=\n1 "
                          "- lambda\n,\nX0 = 1 - s0\n    + s0 * (1 - p1) * X1;\nlikelihood\n"
                          "\"CJS Likelihood\"\n\n0\t0 ,  X0 ,\n0 1,\n  s0*(1-p1)\n  *lambda,\n"
                          "1 0,s0*p1*X1,\n1 1, s0*p1*lambda\n;\n\n");
        QTest::newRow("numbers_and_operators")
            << QByteArray("parameters\ns0, p1, lambda;\nvariables\nX1 = 1.0 - lambda,\n"
                          "X0 = (2/2 - s0) + s0*(0.5 + .5 - p1)*X1;\nlikelihood\n"
                          "\"CJS Likelihood\"\n0 0, X0,\n0 1, -(-s0)*(1-p1)*lambda,\n"
                          "1 0, s0*p1*X1*1e0,\n1 1, s0*p1*lambda - 0*s0;\n");
        QTest::newRow("byte_order_mark_and_CRLF") << "\xEF\xBB\xBF" + withCrLf(WorkedExampleA);
        QTest::newRow("unicode_names_and_symbols")
            << QByteArray("parameters\n\xCF\x86"
                          "0, p\xCC\x81"
                          "1, \xCE\xBB;\nvariables\n"
                          "X1 = 1 - \xCE\xBB,\nX0 = 1 - \xCF\x86"
                          "0 + \xCF\x86"
                          "0*(1-p\xCC\x81"
                          "1)*X1;\nlikelihood\n\"CJS Likelihood\"\n\xE2\x97\x8B \xE2\x97\x8B, "
                          "X0,\n\xE2\x97\x8B \xE2\x9C\x93, \xCF\x86"
                          "0*(1-p\xCC\x81"
                          "1)*"
                          "\xCE\xBB,\n\xE2\x9C\x93 \xE2\x97\x8B, \xCF\x86"
                          "0*p\xCC\x81"
                          "1*X1,\n"
                          "\xE2\x9C\x93 \xE2\x9C\x93, \xCF\x86"
                          "0*p\xCC\x81"
                          "1*\xCE\xBB;\n");
    }
    void handWrittenLayoutsRead() {
        QFETCH(QByteArray, file);
        const ModelCheckResult result = check(file);
        QVERIFY2(result.verdict == Verdict::Sound && result.findings.isEmpty(),
                 qPrintable(describe(result)));
        QCOMPARE(result.histories, quint64(4));
        TrickleDevice pipe(file, 1);
        QCOMPARE(checkModelDefinition(pipe).verdict, Verdict::Sound);
    }

    // Inputs of one long line, or of names by the million, are checked in flat memory: the
    // companion reads them as they are made, with its data limited to 48 MiB (which with its
    // code stays within 64 MB), and says what it found or which of its limits the file exceeds.
    void longInputsStayWithinMemory_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("history_of_2000000_symbols")
            << "history_of_2000000_symbols" << 3
            << "line 10, column 1: error: this history has 2000001 symbols";
        QTest::newRow("variable_of_2000000_terms") // too long to evaluate again: no balanced draw
            << "variable_of_2000000_terms" << 0
            << "sound: 4 histories, 0 warnings; the cells sum to 1 in 3 random draws (seed "
               "20240229)\n";
        QTest::newRow("product_of_6000000_factors")
            << "product_of_6000000_factors" << 0
            << "sound: 4 histories, 0 warnings; the cells "
               "sum to 1 in 3 random draws (seed 20240229) and "
               "a balanced one";
        QTest::newRow("line_of_50_MB") << "line_of_50_MB" << 0 << "sound: 4 histories";
        QTest::newRow("symbol_of_2_MB")
            << "symbol_of_2_MB" << 3
            << "line 10, column 1: error: a single name, number, history symbol or title goes on "
               "for 1 MiB";
        QTest::newRow("title_of_2_MB")
            << "title_of_2_MB" << 3 << "line 9, column 1: error: a single";
        QTest::newRow("name_of_30_MB")
            << "name_of_30_MB" << 3 << "line 2, column 17: error: a single";
        QTest::newRow("2000000_names")
            << "2000000_names" << 3 << "error: the file has more than 65536 different names";
    }
    void longInputsStayWithinMemory() {
        QFETCH(QString, input);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        if (UnderSanitizer)
            QSKIP("the sanitizers' own memory cannot be limited so");
        const CompanionRun run =
            runCompanionFed({"--check", "-"}, longInput(input),
                            [](QProcess &process) { limitData(process, qint64(48) << 20); });
        QVERIFY2(run.exitStatus == QProcess::NormalExit, run.err);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.out.contains(said.toUtf8()), run.out + run.err);
    }

    // The first syntax error ends the check, at its line and column (in characters), read in
    // one block or a byte at a time.
    void syntaxErrorsPointAtTheirPlace_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("expected");
        const QByteArray a = WorkedExampleA;
        QTest::newRow("empty_file") << QByteArray() << 1 << 1 << "\"parameters\"";
        QTest::newRow("misspelt_keyword")
            << replacedInLine(a, 4, "variables", "variable") << 4 << 1 << "\"variables\"";
        QTest::newRow("parameters_without_comma")
            << replacedInLine(a, 2, "s0, p1", "s0 p1") << 2 << 4 << "\",\" or \";\"";
        QTest::newRow("number_as_parameter")
            << replacedInLine(a, 2, "s0", "0") << 2 << 1 << "a parameter name";
        QTest::newRow("definition_without_equals")
            << replacedInLine(a, 5, " = ", " ") << 5 << 4 << "\"=\"";
        QTest::newRow("operand_missing") << replacedInLine(a, 6, "s0 + s0", "s0 + * s0") << 6 << 15
                                         << "a number, a name or \"(\"";
        QTest::newRow("parenthesis_not_closed")
            << replacedInLine(a, 6, "(1-p1)*X1", "(1-p1*X1") << 6 << 26 << "\")\"";
        QTest::newRow("parenthesis_not_opened")
            << replacedInLine(a, 12, "s0*p1*X1", "s0*p1)*X1") << 12 << 11 << "after the product";
        QTest::newRow("two_names_without_operator")
            << replacedInLine(a, 12, "p1*X1", "p1 X1") << 12 << 12 << "after the product";
        QTest::newRow("title_missing") << withoutLine(a, 9) << 9 << 1 << "the title";
        QTest::newRow("title_not_closed")
            << replacedInLine(a, 9, "Likelihood\"", "Likelihood") << 9 << 16 << "the closing";
        QTest::newRow("history_without_product_separator")
            << replacedInLine(a, 11, "0 1, s0", "0 1; s0") << 11 << 4 << "\",\"";
        QTest::newRow("history_without_symbols")
            << replacedInLine(a, 11, "0 1, ", ", ") << 11 << 1 << "a history symbol";
        QTest::newRow("last_history_ends_with_comma")
            << replacedInLine(a, 13, "lambda;", "lambda,") << 14 << 1 << "a history symbol";
        QTest::newRow("text_after_the_last_history") << a + "\n% end\n"
                                                     << 15 << 1 << "the end of the file";
        QTest::newRow("tab_counts_as_one_column")
            << replacedInLine(a, 12, "1 0, s0*p1*X1", "1\t0,\ts0*p1 X1") << 12 << 12
            << "after the product";
        QTest::newRow("CRLF_line_ends")
            << withCrLf(replacedInLine(a, 12, "p1*X1", "p1 X1")) << 12 << 12 << "after the product";
        QTest::newRow("CR_line_ends")
            << withCr(replacedInLine(a, 12, "p1*X1", "p1 X1")) << 12 << 12 << "after the product";
        QTest::newRow("CR_line_ends_N4")
            << withCr(replacedInLine(writtenBytes(withPeriods(4)), 13, "X0,", "X0 +,")) << 13 << 14
            << "a number, a name or";
        QTest::newRow("LF_then_CR_is_two_line_ends")
            << replacedInLine(a, 12, "p1*X1", "p1 X1")
                   .replace("X1 = 1 - lambda,\n", "X1 = 1 - lambda,\n\r")
            << 13 << 12 << "after the product";
        QTest::newRow("byte_order_mark_and_CR")
            << "\xEF\xBB\xBF" + withCr(replacedInLine(a, 1, "parameters", "parameter")) << 1 << 1
            << "\"parameters\"";
        QTest::newRow("empty_parameters_section") << QByteArray(a).replace("s0, p1, lambda;\n", "")
                                                  << 3 << 1 << "the parameters section is empty";
        QTest::newRow("empty_variables_section")
            << QByteArray(a).replace("X1 = 1 - lambda,\nX0 = 1 - s0 + s0*(1-p1)*X1;\n", "") << 6
            << 1 << "the variables section is empty";
        QTest::newRow("empty_likelihood_section")
            << a.first(a.indexOf("0 0, X0")) << 10 << 1 << "the likelihood section is empty";
        QTest::newRow("columns_count_characters_not_bytes") << QByteArray("parameters\n\xCF\x86"
                                                                          "0, \xCF\x86"
                                                                          "1 \xCF\x86"
                                                                          "2;\n")
                                                            << 2 << 8 << "\",\" or \";\"";
        QTest::newRow("byte_that_is_not_UTF8")
            << replacedInLine(a, 2, "p1", "p\xFF") << 2 << 6 << "\",\" or \";\"";
    }
    void syntaxErrorsPointAtTheirPlace() {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QString, expected);
        for (const qint64 chunk : {qint64(1) << 30, qint64(1)}) {
            TrickleDevice device(file, chunk);
            const ModelCheckResult result = checkModelDefinition(device);
            QCOMPARE(result.verdict, Verdict::Unsound);
            const ModelCheckFinding *syntax = findingOf(result, Kind::Syntax);
            QVERIFY2(syntax, qPrintable(describe(result)));
            QCOMPARE(syntax->line, line);
            QCOMPARE(syntax->column, column);
            QVERIFY2(syntax->message.startsWith(QStringLiteral("expected ") + expected)
                         || syntax->message.contains(expected),
                     qPrintable(syntax->message));
        }
    }

    // The sentence on a sum that misses 1 says by how much, for which draw and seed, and where
    // the largest cells are.
    void sumFindingTellsDrawSeedAndLargestCells_data() {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("default_seed") << ModelCheckSettings::DefaultSeed;
        QTest::newRow("seed_7") << quint32(7);
    }
    void sumFindingTellsDrawSeedAndLargestCells() {
        QFETCH(quint32, seed);
        const QByteArray file = "parameters\na;\nvariables\nX = 1 - a;\nlikelihood\n"
                                "\"CJS Likelihood\"\n0, 0.25 + 0*X,\n1, 0.5,\n2, 0.125,\n"
                                "3, 0.25;\n";
        ModelCheckSettings settings;
        settings.seed = seed;
        const ModelCheckResult result = check(file, settings);
        const ModelCheckFinding *sum = findingOf(result, Kind::CellsDoNotSumToOne);
        QVERIFY2(sum, qPrintable(describe(result)));
        QCOMPARE(sum->line, 5);
        for (const QString &piece :
             {QStringLiteral("draw 1 of 3"), QStringLiteral("seed %1").arg(seed),
              QStringLiteral("1.125"), QStringLiteral("+0.125"),
              QStringLiteral("8 (0.5), 7 (0.25), 10 (0.25)")})
            QVERIFY2(sum->message.contains(piece), qPrintable(sum->message));
    }

    // With options given, the first line that is not the writer's is named with both texts
    // from the column where they part, marked; a byte-order mark, and CR LF or CR line ends, do
    // not count as a difference, as they do not for the reader.
    void comparisonWithOptions_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<int>("line"); // 0: no difference
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("found");
        const QByteArray b = WorkedExampleB;
        const QByteArray bom = "\xEF\xBB\xBF";
        QTest::newRow("unedited") << b << withPeriods(3, true) << 0 << 0 << QString() << QString();
        QTest::newRow("unedited_CRLF")
            << withCrLf(b) << withPeriods(3, true) << 0 << 0 << QString() << QString();
        QTest::newRow("unedited_CR")
            << withCr(b) << withPeriods(3, true) << 0 << 0 << QString() << QString();
        QTest::newRow("byte_order_mark")
            << bom + b << withPeriods(3, true) << 0 << 0 << QString() << QString();
        QTest::newRow("byte_order_mark_and_CRLF")
            << bom + withCrLf(b) << withPeriods(3, true) << 0 << 0 << QString() << QString();
        QTest::newRow("byte_order_mark_and_CR")
            << bom + withCr(b) << withPeriods(3, true) << 0 << 0 << QString() << QString();
        QTest::newRow("byte_order_mark_other_options")
            << bom + b << withPeriods(3) << 2 << 9 << "\"s0, p1, \u25b8s1, p2, lambda;\""
            << "\"s0, p1, \u25b8c1, s1, p2,\"";
        QTest::newRow("byte_order_mark_alone")
            << bom << withPeriods(3) << 1 << 1 << "\"\u25b8parameters\""
            << "the end of the file";
        QTest::newRow("other_options")
            << b << withPeriods(3) << 2 << 9 << "\"s0, p1, \u25b8s1, p2, lambda;\""
            << "\"s0, p1, \u25b8c1, s1, p2,\"";
        QTest::newRow("history_edited")
            << withCrLf(replacedInLine(b, 15, "s1*p2", "s1*(1-p2)")) << withPeriods(3, true) << 15
            << 21 << "\"\u20261, s0*(1-p1)*s1*\u25b8p2*(1-c2)*lambda,\""
            << "\"\u20261, s0*(1-p1)*s1*\u25b8(1-p2)*(1-c2)*lambda,\"";
        QTest::newRow("history_edited_CR")
            << withCr(replacedInLine(b, 15, "s1*p2", "s1*(1-p2)")) << withPeriods(3, true) << 15
            << 21 << "\"\u20261, s0*(1-p1)*s1*\u25b8p2*(1-c2)*lambda,\""
            << "\"\u20261, s0*(1-p1)*s1*\u25b8(1-p2)*(1-c2)*lambda,\"";
        QTest::newRow("syntax_error_in_a_history")
            << replacedInLine(b, 15, "s1*p2", "s1 p2") << withPeriods(3, true) << 15 << 20
            << "\"\u2026 1, s0*(1-p1)*s1\u25b8*p2*(1-c2)*lambda,\""
            << "\"\u2026 1, s0*(1-p1)*s1\u25b8 p2*(1-c2)*lambda,\"";
        QTest::newRow("history_removed") << withoutLine(b, 15) << withPeriods(3, true) << 15 << 3
                                         << "\"0 \u25b81 1, s0*(1-p1)*s1*p2*(1-c2)*lambda,\""
                                         << "\"0 \u25b82 0, s0*(1-p1)*s1*p2*c2,\"";
        QTest::newRow("last_history_missing")
            << withoutLine(b, 22) << withPeriods(3, true) << 22 << 1 << "\"\u25b82 0 0, s0*p1*c1;\""
            << "the end of the file";
        QTest::newRow("line_added_at_the_end")
            << b + "\n"
            << withPeriods(3, true) << 23 << 1 << "the end of the file"
            << "an empty line";
        const QByteArray reduced = writtenBytes(reducedModel(3, true, true, true));
        QTest::newRow("reduced_file_full_options")
            << reduced << withPeriods(3, true) << 2 << 2 << "\"s\u25b80, p1, c1, s1, p2,\""
            << "\"s\u25b8, p, c1, c2;\"";
        QTest::newRow("full_file_reduced_options")
            << b << reducedModel(3, false, true, true) << 2 << 6 << "\"s0, p\u25b8, c1, s1, c2,\""
            << "\"s0, p\u25b81, c1, s1, p2,\"";
        QTest::newRow("reduced_file_other_reduced_options")
            << reduced << reducedModel(3, true, true, true, true) << 2 << 8 << "\"s, p, c\u25b8;\""
            << "\"s, p, c\u25b81, c2;\"";
        QTest::newRow("no_line_break_at_the_end")
            << b.chopped(1) << withPeriods(3, true) << 22 << 17
            << "\"2 0 0, s0*p1*c1;\u25b8\" and then the end of the line"
            << "\"2 0 0, s0*p1*c1;\u25b8\" and then the end of the file";
    }
    void comparisonWithOptions() {
        QFETCH(QByteArray, file);
        QFETCH(ModelOptions, options);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QString, expected);
        QFETCH(QString, found);
        const ModelCheckResult result = check(file, expecting(options));
        const ModelCheckFinding *difference = findingOf(result, Kind::DiffersFromOptions);
        if (line == 0) {
            QVERIFY2(!difference && result.verdict == Verdict::Sound, qPrintable(describe(result)));
            return;
        }
        QVERIFY2(difference, qPrintable(describe(result)));
        QCOMPARE(difference->line, line);
        QCOMPARE(difference->column, column);
        QVERIFY2(difference->message.contains(QStringLiteral("from column %1 on").arg(column)),
                 qPrintable(difference->message));
        QVERIFY2(difference->message.contains(QStringLiteral("expected ") + expected),
                 qPrintable(difference->message));
        QVERIFY2(difference->message.contains(QStringLiteral("found ") + found),
                 qPrintable(difference->message));
        QCOMPARE(result.verdict, Verdict::Unsound);
    }

    // A device that fails makes the file unreadable, not unsound, whenever it fails.
    void failingDeviceIsUnreadable_data() {
        QTest::addColumn<qint64>("failAfter");
        QTest::addColumn<bool>("withOptions");
        QTest::newRow("at_once") << qint64(0) << false;
        QTest::newRow("in_the_parameters") << qint64(15) << false;
        QTest::newRow("in_a_history") << qint64(WorkedExampleB.indexOf("0 1 0,") + 3) << false;
        QTest::newRow("before_the_last_line_break") << qint64(WorkedExampleB.size() - 1) << true;
        QTest::newRow("comparing_with_options") << qint64(100) << true;
    }
    void failingDeviceIsUnreadable() {
        QFETCH(qint64, failAfter);
        QFETCH(bool, withOptions);
        TrickleDevice device(WorkedExampleB, 7, failAfter);
        const ModelCheckResult result = checkModelDefinition(
            device, withOptions ? expecting(withPeriods(3, true)) : ModelCheckSettings());
        QCOMPARE(result.verdict, Verdict::Unreadable);
        QCOMPARE(result.readError, QStringLiteral("Input/output error"));
    }

    // The progress callback hears of every byte read, with the file's size where it has one,
    // and a false answer stops the check at once, as cancelled rather than unsound.
    void progressCountsBytesAndStops_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("stopAtCall"); // 0: never
        QTest::addColumn<bool>("withOptions");
        QTest::newRow("file_to_the_end") << "file" << 0 << false;
        QTest::newRow("pipe_to_the_end") << "pipe" << 0 << true;
        QTest::newRow("file_stopped_first") << "file" << 1 << false;
        QTest::newRow("pipe_stopped_third_with_options") << "pipe" << 3 << true;
        QTest::newRow("file_stopped_third_with_options") << "file" << 3 << true;
    }
    void progressCountsBytesAndStops() {
        QFETCH(QString, device);
        QFETCH(int, stopAtCall);
        QFETCH(bool, withOptions);
        const ModelOptions options = withPeriods(14);
        const QByteArray file = writtenBytes(options);
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        QFile onDisk(directory.filePath(QStringLiteral("model.txt")));
        QVERIFY(onDisk.open(QIODevice::WriteOnly) && onDisk.write(file) == file.size());
        onDisk.close();
        QVERIFY(onDisk.open(QIODevice::ReadOnly));
        TrickleDevice pipe(file, 4096);
        QIODevice &source =
            device == QLatin1String("pipe") ? static_cast<QIODevice &>(pipe) : onDisk;

        ModelCheckSettings settings = withOptions ? expecting(options) : ModelCheckSettings();
        QList<qint64> read;
        QList<qint64> totals;
        settings.progress = [&](qint64 bytesRead, qint64 totalBytes) {
            read.append(bytesRead);
            totals.append(totalBytes);
            return read.size() != stopAtCall;
        };
        const ModelCheckResult result = checkModelDefinition(source, settings);

        const qint64 expectedTotal = device == QLatin1String("pipe") ? -1 : file.size();
        QVERIFY(!read.isEmpty());
        QCOMPARE(totals, QList<qint64>(read.size(), expectedTotal));
        QVERIFY2(std::is_sorted(read.cbegin(), read.cend()) && read.constFirst() > 0,
                 "the count of bytes read must grow");
        if (stopAtCall == 0) {
            QCOMPARE(result.verdict, Verdict::Sound);
            QCOMPARE(read.constLast(), qint64(file.size()));
            QCOMPARE(result.histories, quint64(1) << options.numPeriods);
        } else {
            QCOMPARE(read.size(), stopAtCall);
            QCOMPARE(result.verdict, Verdict::Cancelled);
            QVERIFY2(!findingOf(result, Kind::DiffersFromOptions), qPrintable(describe(result)));
            QVERIFY(result.histories < quint64(1) << options.numPeriods);
        }
    }
};

QTEST_GUILESS_MAIN(TestModelDefinitionCheck)
#include "tst_modeldefinitioncheck.moc"
