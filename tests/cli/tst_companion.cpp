// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionprocess.h"
#include "modeloptions.h"
#include "testfiles.h"
#include "version.h"
#include "writertestsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCompanion : public QObject {
    Q_OBJECT

private slots:
    void optionsReachTheirFields_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<ModelOptions>("options");

        QTest::newRow("defaults") << QStringList{} << ModelOptions{};
        ModelOptions b;
        b.numPeriods = 3;
        b.censoring = true;
        QTest::newRow("example_B") << QStringList{"-n", "3", "--censoring"} << b;

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
        QTest::newRow("every_option") << QStringList{"--periods",
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
                                                     "--initial-release"}
                                      << all;

        ModelOptions unicode;
        unicode.survivalParameter = QStringLiteral("\u03c6");
        unicode.numPeriods = 5;
        QTest::newRow("unicode_name") << QStringList{"-n", "5", "--survival", "\u03c6"} << unicode;

        ModelOptions censoringNamesUnused;
        censoringNamesUnused.censoringParameter = "unused";
        QTest::newRow("censoring_names_without_censoring")
            << QStringList{"--censoring-parameter", "unused"} << censoringNamesUnused;
    }
    void optionsReachTheirFields() {
        QFETCH(QStringList, arguments);
        QFETCH(ModelOptions, options);
        const CompanionRun run = runCompanion(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.out, expectedFileBytes(options));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("periods_too_small") << QStringList{"-n", "1"} << "--periods";
        QTest::newRow("periods_too_large") << QStringList{"-n", "100"} << "--periods";
        QTest::newRow("periods_not_a_number") << QStringList{"-n", "ten"} << "--periods";
        QTest::newRow("periods_fraction") << QStringList{"-n", "2.5"} << "--periods";
        QTest::newRow("periods_huge") << QStringList{"-n", "99999999999999999999"} << "--periods";
        QTest::newRow("periods_missing_value") << QStringList{"-n"} << "n";
        QTest::newRow("s0_negative")
            << QStringList{"--initial-survival-index", "-1"} << "--initial-survival-index";
        QTest::newRow("s0_too_large")
            << QStringList{"--initial-survival-index", "100"} << "--initial-survival-index";
        QTest::newRow("unknown_option") << QStringList{"--bogus"} << "bogus";
        QTest::newRow("positional_argument") << QStringList{"model.txt"} << "model.txt";
        QTest::newRow("line_break_in_name") << QStringList{"--survival", "s\nt"} << "--survival";
        QTest::newRow("carriage_return_in_symbol")
            << QStringList{"--detected-symbol", "1\r"} << "--detected-symbol";
        QTest::newRow("line_break_in_censoring_name")
            << QStringList{"--censoring", "--censoring-parameter", "c\n"}
            << "--censoring-parameter";
        QTest::newRow("name_clash") << QStringList{"-n", "4", "--detection", "s"} << "--detection";
        QTest::newRow("final_is_a_subscripted_name") << QStringList{"--final", "p1"} << "--final";
        QTest::newRow("equal_symbols")
            << QStringList{"--not-detected-symbol", "1"} << "--not-detected-symbol";
        QTest::newRow("progress_both_ways")
            << QStringList{"--progress", "--no-progress"} << "--no-progress";
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString target = dir.filePath("model.txt");
        const CompanionRun run = runCompanion(arguments + QStringList{"-o", target});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(QString::fromUtf8(run.err).contains(named), run.err);
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

    void lineBreaksStayRefusedWithClashesAllowed() {
        const CompanionRun run = runCompanion({"--final", "a\nb", "--allow-name-clashes"});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
    }

    void stats_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("N2") << QStringList{"--stats"} << QByteArray("histories: 4\nbytes: 178\n");
        QTest::newRow("N3_censoring") << QStringList{"--stats", "-n", "3", "--censoring"}
                                      << QByteArray("histories: 11\nbytes: 488\n");
        QTest::newRow("N22") << QStringList{"--stats", "-n", "22"}
                             << QByteArray("histories: 4194304\nbytes: 991954843 (992.0 MB)\n");
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
                                   "--output",
                                   "--stats",
                                   "--progress",
                                   "--no-progress",
                                   "--allow-name-clashes",
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
