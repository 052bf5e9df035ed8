// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionprocess.h"
#include "modeloptions.h"
#include "testfiles.h"
#include "version.h"
#include "workedexamples.h"
#include "writertestsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

// "tarskcjs-cli: " and then a lower-case word, an option or a quoted text.
bool isInTheCompanionsStyle(const QByteArray &line) {
    const QByteArray prefix = "tarskcjs-cli: ";
    if (!line.startsWith(prefix) || line.size() == prefix.size())
        return false;
    const char first = line.at(prefix.size());
    return (first >= 'a' && first <= 'z') || first == '-' || first == '"';
}

// Runs the companion through the shell, for what QProcess cannot pass: bytes that are not
// UTF-8, closed descriptors.
CompanionRun runThroughShell(const QString &script, const QStringList &arguments = {}) {
    return runCompanionProgram(QStringLiteral("/bin/sh"),
                               QStringList{"-c", script, QStringLiteral(TARSKCJS_CLI_PATH)}
                                   + arguments);
}

// The companion's arguments for a model at the form's defaults but for N and the constants.
QStringList reducedArguments(const ModelOptions &options) {
    QStringList arguments{"-n", QString::number(options.numPeriods)};
    if (options.censoring)
        arguments << "--censoring";
    if (options.constantSurvival)
        arguments << "--constant-survival";
    if (options.constantDetection)
        arguments << "--constant-detection";
    if (options.constantCensoring)
        arguments << "--constant-censoring";
    return arguments;
}

} // namespace

class TestCompanion : public QObject {
    Q_OBJECT

private slots:
    void optionsReachTheirFields_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArray>("warned"); // all of standard error

        QTest::newRow("defaults") << QStringList{} << ModelOptions{} << QByteArray();
        ModelOptions b;
        b.numPeriods = 3;
        b.censoring = true;
        QTest::newRow("example_B") << QStringList{"-n", "3", "--censoring"} << b << QByteArray();

        ModelOptions all;
        all.numPeriods = 4;
        all.survivalParameter = "phi";
        all.detectionParameter = "q";
        all.finalParameter = "chi";
        all.noMoreDetections = "Z";
        all.initialSurvivalIndex = 12;
        all.detectedSymbol = "D";
        all.notDetectedSymbol = "N";
        all.censoring = true;
        all.censoringParameter = "k";
        all.censoredSymbol = "C";
        all.initialRelease = true;
        const QStringList everyOption{"--periods",
                                      "4",
                                      "--survival",
                                      "phi",
                                      "--detection",
                                      "q",
                                      "--final",
                                      "chi",
                                      "--no-more-detections",
                                      "Z",
                                      "--initial-survival-index",
                                      "12",
                                      "--detected-symbol",
                                      "D",
                                      "--not-detected-symbol",
                                      "N",
                                      "--censoring",
                                      "--censoring-parameter",
                                      "k",
                                      "--censored-symbol",
                                      "C",
                                      "--initial-release"};
        QTest::newRow("every_option") << everyOption << all << QByteArray();

        ModelOptions unicode;
        unicode.survivalParameter = QStringLiteral("\u03c6");
        unicode.numPeriods = 5;
        QTest::newRow("unicode_name")
            << QStringList{"-n", "5", "--survival", "\u03c6"} << unicode << QByteArray();
        // Only similar: a capital letter is told apart by every reader.
        ModelOptions capital;
        capital.numPeriods = 4;
        capital.detectionParameter = "S";
        QTest::newRow("capital_letter_only_similar")
            << QStringList{"-n", "4", "--detection", "S"} << capital << QByteArray();

        // Written as without them, with a word that they do nothing.
        ModelOptions censoringNamesUnused;
        censoringNamesUnused.censoringParameter = "unused";
        QTest::newRow("censoring_names_without_censoring")
            << QStringList{"--censoring-parameter", "unused"} << censoringNamesUnused
            << QByteArray("tarskcjs-cli: warning: --censoring-parameter has no effect without "
                          "--censoring\n");
        ModelOptions censoredSymbolUnused;
        censoredSymbolUnused.censoredSymbol = "9";
        QTest::newRow("censored_symbol_without_censoring")
            << QStringList{"--censored-symbol", "9"} << censoredSymbolUnused
            << QByteArray("tarskcjs-cli: warning: --censored-symbol has no effect without "
                          "--censoring\n");
        ModelOptions bothUnused = censoringNamesUnused;
        bothUnused.censoredSymbol = "9";
        QTest::newRow("both_censoring_texts_without_censoring")
            << QStringList{"--censored-symbol=9", "--censoring-parameter=unused"} << bothUnused
            << QByteArray("tarskcjs-cli: warning: --censoring-parameter has no effect without "
                          "--censoring\ntarskcjs-cli: warning: --censored-symbol has no effect "
                          "without --censoring\n");

        ModelOptions everyConstantThatKeepsTheFinal = all;
        everyConstantThatKeepsTheFinal.constantCensoring = true;
        QTest::newRow("every_option_constant_censoring")
            << everyOption + QStringList{"--constant-censoring"} << everyConstantThatKeepsTheFinal
            << QByteArray();
        QTest::newRow("constant_detection") << QStringList{"-n", "5", "--constant-detection"}
                                            << reducedModel(5, false, true) << QByteArray();
    }
    void optionsReachTheirFields() {
        QFETCH(QStringList, arguments);
        QFETCH(ModelOptions, options);
        QFETCH(QByteArray, warned);
        const CompanionRun run = runCompanion(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, warned);
        QCOMPARE(run.out, expectedFileBytes(options));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("periods_too_small") << QStringList{"-n", "1"} << "-n must be from 2 to 99";
        QTest::newRow("periods_too_large")
            << QStringList{"--periods", "100"} << "--periods must be from 2 to 99, not 100";
        QTest::newRow("periods_not_a_number") << QStringList{"-n", "ten"} << "-n needs a whole";
        QTest::newRow("periods_fraction") << QStringList{"-n", "2.5"} << "-n";
        QTest::newRow("periods_huge_is_out_of_range")
            << QStringList{"-n", "99999999999999999999"} << "-n must be from 2 to 99";
        QTest::newRow("periods_trailing_line_break")
            << QStringList{"-n", "5\n"} << "-n needs a whole number, not \"5\\n\"";
        QTest::newRow("periods_leading_space") << QStringList{"-n", " 5"} << "not \" 5\"";
        QTest::newRow("periods_missing_value")
            << QStringList{"-n"} << "option \"-n\" needs a value";
        QTest::newRow("s0_negative")
            << QStringList{"--initial-survival-index", "-1"} << "--initial-survival-index";
        QTest::newRow("s0_too_large")
            << QStringList{"--initial-survival-index", "100"} << "--initial-survival-index";
        QTest::newRow("unknown_option") << QStringList{"--bogus"} << "unknown option \"--bogus\"";
        QTest::newRow("unknown_short_option") << QStringList{"-q"} << "unknown option \"-q\"";
        QTest::newRow("flag_with_value")
            << QStringList{"--censoring=yes"} << "option \"--censoring\" takes no value";
        QTest::newRow("positional_argument") << QStringList{"model.txt"} << "\"model.txt\"";
        QTest::newRow("line_break_in_name") << QStringList{"--survival", "s\nt"} << "--survival";
        QTest::newRow("carriage_return_in_symbol")
            << QStringList{"--detected-symbol", "1\r"} << "--detected-symbol";
        QTest::newRow("line_break_in_censoring_name")
            << QStringList{"--censoring", "--censoring-parameter", "c\n"}
            << "--censoring-parameter";
        QTest::newRow("tab_in_name")
            << QStringList{"--survival", "s\t1"}
            << "--survival \"s\\t1\" contains a control character (\\t) at character 2";
        QTest::newRow("tab_as_symbol")
            << QStringList{"--not-detected-symbol", "\t"} << "--not-detected-symbol \"\\t\"";
        QTest::newRow("comma_in_survival")
            << QStringList{"--survival", "a,b"} << "--survival \"a,b\" contains \",\"";
        QTest::newRow("semicolon_in_final")
            << QStringList{"--final", "x;"} << "--final \"x;\" contains \";\"";
        QTest::newRow("comma_as_symbol")
            << QStringList{"--detected-symbol", ","} << "--detected-symbol";
        QTest::newRow("semicolon_as_censored_symbol")
            << QStringList{"--censoring", "--censored-symbol", ";"} << "--censored-symbol";
        QTest::newRow("empty_detection")
            << QStringList{"--detection", ""} << "--detection is empty";
        QTest::newRow("empty_final") << QStringList{"--final", ""} << "--final is empty";
        QTest::newRow("empty_variables")
            << QStringList{"--no-more-detections", ""} << "--no-more-detections is empty";
        QTest::newRow("hyphen_in_survival") << QStringList{"--survival", "s-adult"}
                                            << "--survival \"s-adult\" does not read as a name";
        QTest::newRow("space_in_survival") << QStringList{"--survival", "s 1"} << "--survival";
        QTest::newRow("digit_as_final") << QStringList{"--final", "2"} << "--final \"2\"";
        QTest::newRow("operator_in_detection") << QStringList{"--detection", "p*"} << "--detection";
        QTest::newRow("name_clash") << QStringList{"-n", "4", "--detection", "s"} << "--detection";
        QTest::newRow("clash_named_in_the_forms_order")
            << QStringList{"-n", "3", "--initial-survival-index", "10", "--detection", "s1"}
            << "--survival and --detection both give the name \"s11\"";
        QTest::newRow("final_is_a_subscripted_name") << QStringList{"--final", "p1"} << "--final";
        // Names that read alike across alphabets: "р1" (Cyrillic er) and "p1".
        QTest::newRow("cyrillic_survival")
            << QStringList{"-n", "3", "--survival", QStringLiteral("\u0440")}
            << QStringLiteral("--survival gives \"\u04401\" and --detection gives \"p1\", "
                              "different names that read alike (\"\u0440\" is U+0440 CYRILLIC "
                              "SMALL LETTER ER, \"p\" is U+0070 LATIN SMALL LETTER P)");
        QTest::newRow("greek_survival")
            << QStringList{"-n", "3", "--survival", QStringLiteral("\u03c1")}
            << "U+03C1 GREEK SMALL LETTER RHO";
        QTest::newRow("full_width_survival")
            << QStringList{"-n", "3", "--survival", QStringLiteral("\uff50")}
            << "U+FF50 FULLWIDTH LATIN SMALL LETTER P";
        QTest::newRow("cyrillic_final")
            << QStringList{"--final", QStringLiteral("\u04401")}
            << QStringLiteral("--detection gives \"p1\" and --final gives \"\u04401\"");
        QTest::newRow("equal_symbols")
            << QStringList{"--not-detected-symbol", "1"} << "--not-detected-symbol";
        QTest::newRow("progress_both_ways")
            << QStringList{"--progress", "--no-progress"} << "--no-progress";
        QTest::newRow("empty_constant_survival")
            << QStringList{"--constant-survival", "--survival", ""}
            << "--survival is empty, but it names one parameter for the whole model";
        QTest::newRow("empty_constant_censoring")
            << QStringList{"--censoring", "--constant-censoring", "--censoring-parameter", ""}
            << "--censoring-parameter is empty, but";
        QTest::newRow("constant_names_alike")
            << QStringList{"--constant-survival", "--constant-detection", "--detection", "s"}
            << "--survival and --detection both give the name \"s\"";
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString target = dir.filePath("model.txt");
        const CompanionRun run = runCompanion(QStringList{"-o", target} + arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(QString::fromUtf8(run.err).contains(named), run.err);
        for (const QByteArray &line : run.err.trimmed().split('\n'))
            QVERIFY2(isInTheCompanionsStyle(line), line);
        QVERIFY(!QFile::exists(target));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    void usageErrorIsOneLine() {
        const CompanionRun run = runCompanion({"-n", "1"});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY(run.err.startsWith("tarskcjs-cli: "));
    }

    void clashesCanBeAllowed() {
        const CompanionRun run =
            runCompanion({"-n", "4", "--detection", "s", "--allow-name-clashes"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("warning") && run.err.contains("\"s1\""), run.err);
        ModelOptions options;
        options.numPeriods = 4;
        options.detectionParameter = "s";
        QCOMPARE(run.out, expectedFileBytes(options));
    }

    void refusalsStayWithClashesAllowed_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("line_break") << QStringList{"--final", "a\nb"};
        QTest::newRow("empty_constant_detection")
            << QStringList{"--constant-detection", "--detection", ""};
    }
    void refusalsStayWithClashesAllowed() {
        QFETCH(QStringList, arguments);
        const CompanionRun run = runCompanion(arguments + QStringList{"--allow-name-clashes"});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
    }

    // An option that changes nothing in the file is named on standard error; the file is
    // the one written without it.
    void ineffectiveOptionsAreWarnedAbout_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("sameFileAs");
        QTest::addColumn<QByteArray>("warning"); // empty: none
        QTest::newRow("initial_survival_index_with_constant_survival")
            << QStringList{"--constant-survival", "--initial-survival-index", "4"}
            << QStringList{"--constant-survival"}
            << QByteArray("--initial-survival-index has no effect with --constant-survival");
        QTest::newRow("final_with_constant_detection")
            << QStringList{"-n", "3", "--constant-detection", "--final", "chi"}
            << QStringList{"-n", "3", "--constant-detection"}
            << QByteArray("--final has no effect with --constant-detection: ");
        QTest::newRow("final_with_both_constant")
            << QStringList{"--final", "lambda", "--constant-survival", "--constant-detection"}
            << QStringList{"--constant-survival", "--constant-detection"}
            << QByteArray("--final has no effect with --constant-survival and "
                          "--constant-detection");
        QTest::newRow("constant_censoring_without_censoring")
            << QStringList{"-n", "3", "--constant-censoring"} << QStringList{"-n", "3"}
            << QByteArray("--constant-censoring has no effect without --censoring");
        QTest::newRow("initial_survival_index_counts_with_constant_detection")
            << QStringList{"--constant-detection", "--initial-survival-index", "4"} << QStringList()
            << QByteArray();
        QTest::newRow("final_counts_with_constant_censoring")
            << QStringList{"--censoring", "--constant-censoring", "--final", "chi"} << QStringList()
            << QByteArray();
    }
    void ineffectiveOptionsAreWarnedAbout() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, sameFileAs);
        QFETCH(QByteArray, warning);
        const CompanionRun run = runCompanion(arguments);
        QCOMPARE(run.exitCode, 0);
        if (warning.isEmpty()) {
            QCOMPARE(run.err, QByteArray());
            return;
        }
        QVERIFY2(run.err.startsWith("tarskcjs-cli: warning: " + warning), run.err);
        QCOMPARE(run.err.count('\n'), 1);
        QCOMPARE(run.out, runCompanion(sameFileAs).out);
    }

    void stats_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("N2") << QStringList{"--stats"} << QByteArray("histories: 4\nbytes: 178\n");
        QTest::newRow("N3_censoring") << QStringList{"--stats", "-n", "3", "--censoring"}
                                      << QByteArray("histories: 11\nbytes: 488\n");
        QTest::newRow("N22") << QStringList{"--stats", "-n", "22"}
                             << QByteArray("histories: 4194304\nbytes: 991954843 (992.0 MB)\n");
        QTest::newRow("N22_phi(.)p(.)")
            << QStringList{"--stats", "-n", "22", "--constant-survival", "--constant-detection"}
            << QByteArray("histories: 4194304\nbytes: 721420404 (721.4 MB)\n");
        QTest::newRow("N99") << QStringList{"--stats", "-n", "99"}
                             << QByteArray(
                                    "histories: 633825300114114700748351602688\n"
                                    "bytes: 735554260782430110218462034924682 (7.4e+32 bytes)\n");
    }
    void stats() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        const CompanionRun run = runCompanion(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
    }

    void statsAgreeWithTheFile() {
        QTemporaryDir dir;
        const QString target = dir.filePath("model.txt");
        const QStringList model{"-n",
                                "12",
                                "--censoring",
                                "--initial-release",
                                "--survival",
                                "\u03c6",
                                "--initial-survival-index",
                                "95"};
        QCOMPARE(runCompanion(model + QStringList{"-o", target}).exitCode, 0);
        const CompanionRun stats = runCompanion(model + QStringList{"--stats"});
        QVERIFY2(stats.out.contains("\nbytes: " + QByteArray::number(QFileInfo(target).size())),
                 stats.out);
    }

    void helpAndVersion() {
        const CompanionRun help = runCompanion({"--help"});
        QCOMPARE(help.exitCode, 0);
        for (const char *option : {"--periods",
                                   "--survival",
                                   "--detection",
                                   "--final",
                                   "--no-more-detections",
                                   "--initial-survival-index",
                                   "--detected-symbol",
                                   "--not-detected-symbol",
                                   "--censoring",
                                   "--censoring-parameter",
                                   "--censored-symbol",
                                   "--initial-release",
                                   "--constant-survival",
                                   "--constant-detection",
                                   "--constant-censoring",
                                   "--output",
                                   "--stats",
                                   "--progress",
                                   "--no-progress",
                                   "--allow-name-clashes",
                                   "--check",
                                   "--seed",
                                   "--help",
                                   "--version",
                                   "Exit status"}) {
            QVERIFY2(help.out.contains(option), option);
        }
        const CompanionRun version = runCompanion({"--version"});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QByteArray("tarskcjs-cli " TARSKCJS_VERSION "\n"));
    }

    void writesFileAndReplacesAnEarlierOne() {
        QTemporaryDir dir;
        const QString target = dir.filePath("model.txt");
        QVERIFY(writeFile(target, QByteArray(100000, 'x')));
        const CompanionRun run = runCompanion({"-n", "3", "--censoring", "-o", target});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray());
        ModelOptions b;
        b.numPeriods = 3;
        b.censoring = true;
        QCOMPARE(readFile(target), expectedFileBytes(b));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"model.txt"});
    }

    void questionsCanBeAllowed_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<ModelOptions>("options");
        ModelOptions emptyDetection;
        emptyDetection.detectionParameter = "";
        QTest::newRow("empty_detection") << QStringList{"--detection", ""} << emptyDetection;
        ModelOptions hyphen;
        hyphen.survivalParameter = "s-adult";
        QTest::newRow("hyphen") << QStringList{"--survival", "s-adult"} << hyphen;
        ModelOptions cyrillic;
        cyrillic.numPeriods = 3;
        cyrillic.survivalParameter = QStringLiteral("\u0440");
        QTest::newRow("look_alike_names")
            << QStringList{"-n", "3", "--survival", QStringLiteral("\u0440")} << cyrillic;
    }
    void questionsCanBeAllowed() {
        QFETCH(QStringList, arguments);
        QFETCH(ModelOptions, options);
        const CompanionRun run = runCompanion(arguments + QStringList{"--allow-name-clashes"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.startsWith("tarskcjs-cli: warning: "), run.err);
        QCOMPARE(run.out, expectedFileBytes(options));
    }

    // --stats says what writing would ask about the inputs and still gives the figures; inputs
    // that would break the file are a usage error, as when writing.
    void statsTellTheFindings_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("finding");
        QTest::newRow("clash") << QStringList{"--survival", "p", "-n", "3"} << 0
                               << QByteArray("warning: --survival and --detection");
        QTest::newRow("not_a_name") << QStringList{"--final", "a-b"} << 0
                                    << QByteArray("warning: --final \"a-b\" does not read");
        QTest::newRow("refused_separator") << QStringList{"--final", "a;b"} << 2
                                           << QByteArray("tarskcjs-cli: --final \"a;b\" contains");
        QTest::newRow("refused_comma") << QStringList{"-n", "5", "--survival", "s,"} << 2
                                       << QByteArray("tarskcjs-cli: --survival \"s,\" contains");
        QTest::newRow("refused_line_break")
            << QStringList{"-n", "5", "--survival", "s\nx"} << 2
            << QByteArray("--survival \"s\\nx\" contains a line break");
        QTest::newRow("refused_with_clashes_allowed")
            << QStringList{"--detection", "p\t", "--allow-name-clashes"} << 2
            << QByteArray("--detection \"p\\t\" contains a control character");
        QTest::newRow("sound") << QStringList{"-n", "3"} << 0 << QByteArray();
        QTest::newRow("ineffective_option")
            << QStringList{"--constant-survival", "--initial-survival-index", "3"} << 0
            << QByteArray("tarskcjs-cli: warning: --initial-survival-index has no effect");
    }
    void statsTellTheFindings() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, finding);
        const CompanionRun run = runCompanion(arguments + QStringList{"--stats"});
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0)
            QVERIFY2(run.out.startsWith("histories: "), run.out);
        else
            QCOMPARE(run.out, QByteArray());
        if (finding.isEmpty())
            QCOMPARE(run.err, QByteArray());
        else
            QVERIFY2(run.err.contains(finding), run.err);
    }

    // An answer that does not arrive is a failure, told on standard error: a full device, or
    // a standard output that the caller closed (it then leads to /dev/null).
    void lostAnswersFail_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output"); // "full": /dev/full; "closed": >&-
        QTest::addColumn<QByteArray>("said");
        const QByteArray noSpace =
            QByteArray("tarskcjs-cli: cannot write to standard output: ") + std::strerror(ENOSPC);
        const QByteArray closed = "tarskcjs-cli: cannot write to standard output: it is closed\n";
        const QList<std::pair<const char *, QStringList>> answers = {
            {"stats", {"-n", "3", "--stats"}},
            {"help", {"--help"}},
            {"version", {"--version"}},
            {"model", {"-n", "3"}},
            {"model_to_dash", {"-n", "3", "-o", "-"}},
            {"check", {"--check", "/dev/null"}},
        };
        for (const auto &[name, arguments] : answers) {
            QTest::addRow("%s_full", name) << arguments << "full" << noSpace;
            QTest::addRow("%s_closed", name) << arguments << "closed" << closed;
        }
        QTest::newRow("model_to_dev_stdout_closed")
            << QStringList{"-n", "3", "-o", "/dev/stdout"} << "closed"
            << QByteArray("tarskcjs-cli: cannot write to \"/dev/stdout\": it is closed\n");
    }
    void lostAnswersFail() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(QByteArray, said);
        CompanionRun run;
        if (output == "full") {
            if (!QFile::exists("/dev/full"))
                QSKIP("this system has no /dev/full");
            run = runCompanion(arguments, [](QProcess &process) {
                process.setStandardOutputFile(QStringLiteral("/dev/full"));
            });
        } else {
            run = runThroughShell("exec \"$0\" \"$@\" >&-", arguments);
        }
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith(said), run.err);
    }

    void undecodableArgumentsAreRefused_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArray>("named");
        QTest::newRow("latin1_name") << "exec \"$0\" --survival \"$(printf '\\351t\\351')\""
                                     << QByteArray("\"--survival\" (\"\\xe9t\\xe9\")");
        QTest::newRow("latin1_file_name")
            << "cd \"$1\" && exec \"$0\" -o \"$(printf 'mod\\351le.txt')\"" << QByteArray("\"-o\"");
    }
    void undecodableArgumentsAreRefused() {
        QFETCH(QString, script);
        QFETCH(QByteArray, named);
        QTemporaryDir dir;
        const CompanionRun run = runThroughShell(script, {dir.path()});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.contains(named) && run.err.contains("not valid text"), run.err);
        QCOMPARE(entriesOf(dir.path()), QStringList());
    }

    // Descriptors 0-2 closed by the caller must not become the model file's descriptors: the
    // progress bar would be written into it.
    void closedStandardDescriptors_data() {
        QTest::addColumn<QString>("closing");
        QTest::newRow("stdout_and_stderr") << ">&- 2>&-";
        QTest::newRow("all_three") << "<&- >&- 2>&-";
        QTest::newRow("stderr_only") << "2>&-";
    }
    void closedStandardDescriptors() {
        QFETCH(QString, closing);
        QTemporaryDir dir;
        const QString target = dir.filePath("out.txt");
        const CompanionRun run =
            runThroughShell("exec \"$0\" -n 16 --progress -o \"$1\" " + closing, {target});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(readFile(target), expectedFileBytes(withPeriods(16)));
    }

    // The bar comes by itself only on a terminal that does not also receive the model.
    void automaticProgressBar_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("model_on_the_terminal") << "-n 19" << false;
        QTest::newRow("model_into_a_file") << "-n 19 -o \"$1\"" << true;
        QTest::newRow("small_file") << "-n 12 -o \"$1\"" << false;
        QTest::newRow("forced_small_file") << "-n 12 --progress -o \"$1\"" << true;
    }
    void automaticProgressBar() {
        QFETCH(QString, arguments);
        QFETCH(bool, drawn);
        const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
        if (script.isEmpty())
            QSKIP("needs script(1) (util-linux) for a terminal");
        QTemporaryDir dir;
        const QString command = QStringLiteral("exec \"$0\" %1").arg(arguments);
        // script runs the command on a terminal of its own and copies what it shows.
        const CompanionRun run = runCompanionProgram(
            script, {"-qec",
                     QStringLiteral("sh -c '%1' '%2' '%3'")
                         .arg(command, QStringLiteral(TARSKCJS_CLI_PATH), dir.filePath("m.txt")),
                     "/dev/null"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.contains("\r["), drawn);
    }

    // --check reads a file (or standard input), lists what it finds and says so in its exit
    // status: 0 sound, 1 unreadable, 3 unsound.
    void checkExitStatus_data() {
        QTest::addColumn<QString>("file"); // written, constrained, broken, ...: made below
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("written") << "written" << QStringList{} << 0
                                 << QByteArray("written.txt: sound: 23 histories, 0 warnings; the "
                                               "cells sum to 1 in 3 random draws (seed 20240229) "
                                               "and a balanced one\n");
        QTest::newRow("written_with_its_options")
            << "written" << QStringList{"-n", "4", "--censoring"} << 0
            << QByteArray("it is the file of the model options");
        QTest::newRow("written_other_options")
            << "written" << QStringList{"-n", "4"} << 3
            << QByteArray("written.txt: line 2, column 9: error: ");
        QTest::newRow("other_seed")
            << "written" << QStringList{"--seed", "7"} << 0 << QByteArray("(seed 7)");
        QTest::newRow("standard_input")
            << "-" << QStringList{} << 0 << QByteArray("standard input: sound");
        QTest::newRow("closed_standard_input")
            << "closed -" << QStringList{} << 1
            << QByteArray("tarskcjs-cli: cannot read standard input: it is closed\n");
        QTest::newRow("detection_made_constant")
            << "constrained" << QStringList{} << 0 << QByteArray("constrained.txt: sound");
        QTest::newRow("history_line_removed")
            << "missing" << QStringList{} << 3 << QByteArray("not 1: off by -");
        QTest::newRow("history_line_removed_found_where_it_belongs")
            << "missing" << QStringList{} << 3
            << QByteArray("missing.txt: line 16, column 1: error: 1 of the 23 histories of 4 "
                          "occasions are missing; the first, in the order in which they are "
                          "written, is \"0 0 1 1\"");
        QTest::newRow("unbalanced_parenthesis")
            << "unbalanced" << QStringList{} << 3
            << QByteArray(
                   "unbalanced.txt: line 14, column 45: error: expected an operator or \")\"");
        QTest::newRow("reduced_with_its_options")
            << "reduced"
            << QStringList{"-n", "4", "--censoring", "--constant-detection", "--constant-censoring"}
            << 0 << QByteArray("it is the file of the model options");
        QTest::newRow("reduced_with_the_full_models_options")
            << "reduced" << QStringList{"-n", "4", "--censoring"} << 3
            << QByteArray("reduced.txt: line 2, column 6: error: ");
        QTest::newRow("written_with_reduced_options")
            << "written" << QStringList{"-n", "4", "--censoring", "--constant-detection"} << 3
            << QByteArray("written.txt: line 2, column 6: error: ");
        QTest::newRow("no_such_file")
            << "absent" << QStringList{} << 1 << QByteArray("cannot read \"");
        QTest::newRow("a_directory")
            << "." << QStringList{} << 1 << QByteArray("it is a directory");
    }
    void checkExitStatus() {
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        QTemporaryDir dir;
        const QByteArray model = expectedFileBytes(withPeriods(4, true));
        QByteArray constrained = model;
        constrained.replace("p2", "p1")
            .replace("p3", "p1")
            .replace("p1, c1, s1, p1,", "p1, c1, s1,")
            .replace("c2, s2, p1, c3", "c2, s2, c3");
        QByteArray missing = model;
        missing.replace("0 0 1 1, s0*(1-p1)*s1*(1-p2)*s2*p3*(1-c3)*lambda,\n", "");
        QByteArray unbalanced = model;
        unbalanced.replace("0 0 0 1, s0*(1-p1)*s1*(1-p2)*s2*(1-p3",
                           "0 0 0 1, s0*(1-p1)*s1*(1-p2*s2*(1-p3");
        QVERIFY(writeFile(dir.filePath("written.txt"), model));
        QVERIFY(writeFile(dir.filePath("constrained.txt"), constrained));
        QVERIFY(writeFile(dir.filePath("missing.txt"), missing));
        QVERIFY(writeFile(dir.filePath("unbalanced.txt"), unbalanced));
        QVERIFY(writeFile(dir.filePath("reduced.txt"),
                          expectedFileBytes(reducedModel(4, false, true, true, true))));
        QVERIFY(missing != model && unbalanced != model && constrained != model);

        const QString path = file == "-" || file == "." ? file
                             : file == "closed -"       ? "-"
                                                        : dir.filePath(file + ".txt");
        const CompanionRun run =
            runCompanion(QStringList{"--check", path} + options, [&](QProcess &process) {
                process.setWorkingDirectory(dir.path());
                if (file == "-")
                    process.setStandardInputFile(dir.filePath("written.txt"));
                if (file == "closed -")
                    process.setChildProcessModifier([] { ::close(STDIN_FILENO); });
            });
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2((exitCode == 1 ? run.err : run.out).contains(said), run.out + run.err);
    }

    // Each reduced model as written out by hand: the companion writes it byte for byte,
    // --stats gives its size, and --check finds it sound and the file of its options.
    void reducedModels_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArray>("file");
        for (const ReducedExample &example : reducedExamples())
            QTest::newRow(example.name) << example.options << example.file;
    }
    void reducedModels() {
        QFETCH(ModelOptions, options);
        QFETCH(QByteArray, file);
        const QStringList arguments = reducedArguments(options);
        QTemporaryDir dir;
        const QString target = dir.filePath("model.txt");
        const CompanionRun written = runCompanion(arguments + QStringList{"-o", target});
        QCOMPARE(written.exitCode, 0);
        QCOMPARE(written.err, QByteArray());
        QCOMPARE(readFile(target), withNativeNewlines(file));

        const CompanionRun stats = runCompanion(arguments + QStringList{"--stats"});
        const qsizetype histories = file.mid(file.indexOf("\"CJS Likelihood\"\n")).count('\n') - 1;
        QCOMPARE(stats.out, "histories: " + QByteArray::number(histories) + "\nbytes: "
                                + QByteArray::number(withNativeNewlines(file).size()) + "\n");

        const CompanionRun check = runCompanion({"--check", target});
        QCOMPARE(check.exitCode, 0);
        QVERIFY2(check.out.contains(": sound: ") && check.out.contains(", 0 warnings"), check.out);
        const CompanionRun compared = runCompanion(QStringList{"--check", target} + arguments);
        QCOMPARE(compared.exitCode, 0);
        QVERIFY2(compared.out.contains("it is the file of the model options"), compared.out);
    }

    void checkUsageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("check_and_output")
            << QStringList{"--check", "a.txt", "-o", "b.txt"} << QByteArray("--check and --output");
        QTest::newRow("check_and_stats")
            << QStringList{"--check", "a.txt", "--stats"} << QByteArray("--check and --stats");
        // --stats writes nothing: a file named with it would silently not be written.
        QTest::newRow("stats_and_output")
            << QStringList{"--stats", "-o", "x.txt"} << QByteArray("--stats and --output");
        QTest::newRow("seed_alone")
            << QStringList{"--seed", "3"} << QByteArray("--seed goes with --check");
        QTest::newRow("seed_too_large") << QStringList{"--check", "a.txt", "--seed", "4294967296"}
                                        << QByteArray("--seed must be a whole number");
        QTest::newRow("seed_negative") << QStringList{"--check", "a.txt", "--seed", "-1"}
                                       << QByteArray("--seed must be a whole number");
        QTest::newRow("check_twice") << QStringList{"--check", "a.txt", "--check", "b.txt"}
                                     << QByteArray("--check takes one file; give it once");
    }
    void checkUsageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, said);
        const CompanionRun run = runCompanion(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(said) && isInTheCompanionsStyle(run.err.trimmed()), run.err);
    }

    void refusesAFileThatCannotFit() {
        QTemporaryDir dir;
        const QString target = dir.filePath("model.txt");
        const CompanionRun run = runCompanion({"-n", "99", "-o", target});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("735554260782430110218462034924682 bytes")
                     && run.err.contains("is free"),
                 run.err);
        QVERIFY(run.err.contains(target.toUtf8()));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestCompanion)
#include "tst_companion.moc"
