// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionsize.h"
#include "workedexamples.h"
#include "writertestsupport.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

qsizetype historyLineCount(const QByteArray &bytes) {
    const qsizetype head = bytes.indexOf("\"CJS Likelihood\"\n");
    return bytes.mid(head).count('\n') - 1;
}

// Where each history's line starts in the written bytes, and then where the file ends.
QList<qsizetype> lineStarts(const QByteArray &bytes) {
    const QByteArray head = "\"CJS Likelihood\"\n";
    QList<qsizetype> starts = {bytes.indexOf(head) + head.size()};
    for (qsizetype end = bytes.indexOf('\n', starts.constLast()); end >= 0;
         end = bytes.indexOf('\n', end + 1))
        starts.append(end + 1);
    return starts;
}

// The offsets put every line where the writer put it, counting each newline as
// `newlineLength` bytes, and the end of the file after the last one.
void compareLineOffsets(const ModelOptions &options, const QByteArray &bytes,
                        QStringConverter::Encoding encoding, int newlineLength) {
    const HistoryLineOffsets offsets(options, newlineLength, encoding);
    const QList<qsizetype> starts = lineStarts(bytes);
    const qsizetype headNewlines = bytes.left(starts.constFirst()).count('\n');
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype newlines = headNewlines + i;
        const quint64 expected = quint64(starts.at(i) + newlines * (newlineLength - 1));
        if (offsets.offsetOf(quint64(i)) != expected)
            QFAIL(qPrintable(QStringLiteral("history %1 of %2: %3 instead of %4")
                                 .arg(i)
                                 .arg(starts.size() - 1)
                                 .arg(offsets.offsetOf(quint64(i)))
                                 .arg(expected)));
    }
    QCOMPARE(offsets.offsetOf(~quint64(0)), offsets.offsetOf(quint64(starts.size() - 1)));
}

QString randomText(QRandomGenerator &random) {
    static const QString alphabet = QStringLiteral("abXYZ019_ ()*-\u00e9\u03c6");
    QString text;
    const int length = random.bounded(0, 5);
    for (int i = 0; i < length; ++i)
        text += alphabet.at(random.bounded(alphabet.size()));
    return text;
}

ModelOptions randomOptions(QRandomGenerator &random) {
    ModelOptions options;
    options.numPeriods = random.bounded(2, 12);
    options.initialSurvivalIndex = random.bounded(0, 100);
    options.survivalParameter = randomText(random);
    options.detectionParameter = randomText(random);
    options.finalParameter = randomText(random);
    options.noMoreDetections = randomText(random);
    options.detectedSymbol = randomText(random);
    options.notDetectedSymbol = randomText(random);
    options.censoring = random.bounded(2) == 1;
    options.censoringParameter = randomText(random);
    options.censoredSymbol = randomText(random);
    options.initialRelease = random.bounded(2) == 1;
    options.constantSurvival = random.bounded(3) == 0;
    options.constantDetection = random.bounded(3) == 0;
    options.constantCensoring = random.bounded(3) == 0;
    return options;
}

} // namespace

class TestModelDefinitionSize : public QObject {
    Q_OBJECT

private slots:
    void matchesTheWriter_data() {
        QTest::addColumn<ModelOptions>("options");
        for (int n = 2; n <= 9; ++n) {
            QTest::addRow("N%d", n) << withPeriods(n);
            QTest::addRow("N%d_censoring", n) << withPeriods(n, true);
        }
        ModelOptions twoDigits = withPeriods(13, true);
        twoDigits.initialRelease = true;
        QTest::newRow("N13_two_digit_subscripts") << twoDigits;
        ModelOptions threeDigits = withPeriods(12);
        threeDigits.initialSurvivalIndex = 95;
        QTest::newRow("N12_S0_95_three_digits") << threeDigits;
        ModelOptions s0 = withPeriods(5, true);
        s0.initialSurvivalIndex = 7;
        QTest::newRow("N5_S0_7_one_digit") << s0;

        ModelOptions empty = withPeriods(6, true);
        empty.survivalParameter.clear();
        empty.detectionParameter.clear();
        empty.finalParameter.clear();
        empty.noMoreDetections.clear();
        empty.censoringParameter.clear();
        empty.detectedSymbol.clear();
        empty.notDetectedSymbol.clear();
        empty.censoredSymbol.clear();
        empty.initialRelease = true;
        QTest::newRow("all_empty") << empty;

        ModelOptions longTexts = withPeriods(7, true);
        longTexts.survivalParameter = QString(300, u'S');
        longTexts.detectionParameter = "detect ";
        longTexts.finalParameter = QString(1000, u'F');
        longTexts.noMoreDetections = "never_again_";
        longTexts.censoringParameter = "cens";
        longTexts.detectedSymbol = "seen";
        longTexts.notDetectedSymbol = "--";
        longTexts.censoredSymbol = "gone!";
        QTest::newRow("long_names_multichar_symbols") << longTexts;

        ModelOptions unicode = withPeriods(8, true);
        unicode.survivalParameter = QStringLiteral("\u03c6");
        unicode.detectedSymbol = QStringLiteral("\u2713");
        unicode.censoredSymbol = QStringLiteral("\U0001F41F"); // outside the BMP
        unicode.initialRelease = true;
        QTest::newRow("unicode_texts") << unicode;

        for (const int n : {2, 3, 6, 9}) {
            for (const auto &[name, options] : reducedModels(n))
                QTest::addRow("N%d_%s", n, name.constData()) << options;
        }
        ModelOptions reducedUnicode = unicode;
        reducedUnicode.constantSurvival = true;
        reducedUnicode.constantCensoring = true;
        reducedUnicode.initialSurvivalIndex = 95;
        QTest::newRow("unicode_texts_phi(.)p(t)c(.)") << reducedUnicode;
        ModelOptions reducedLong = longTexts;
        reducedLong.constantDetection = true;
        QTest::newRow("long_names_phi(t)p(.)") << reducedLong;
        ModelOptions reducedEmpty = empty;
        reducedEmpty.constantSurvival = true;
        reducedEmpty.constantDetection = true;
        reducedEmpty.constantCensoring = true;
        QTest::newRow("all_empty_phi(.)p(.)c(.)") << reducedEmpty;

        QRandomGenerator random(20261207);
        for (int i = 0; i < 60; ++i)
            QTest::addRow("random_%d", i) << randomOptions(random);
    }
    void matchesTheWriter() {
        QFETCH(ModelOptions, options);
        const QByteArray bytes = writtenBytes(options, QStringConverter::Utf8);
        const ModelDefinitionSize lf = modelDefinitionSize(options, 1, QStringConverter::Utf8);
        QCOMPARE(lf.bytes, UInt128(quint64(bytes.size())));
        QCOMPARE(lf.lines, UInt128(quint64(historyLineCount(bytes))));

        // With CR LF every newline the writer emits takes one byte more.
        const ModelDefinitionSize crlf = modelDefinitionSize(options, 2, QStringConverter::Utf8);
        QCOMPARE(crlf.bytes, UInt128(quint64(bytes.size() + bytes.count('\n'))));

        compareLineOffsets(options, bytes, QStringConverter::Utf8, 1);
        if (!QTest::currentTestFailed())
            compareLineOffsets(options, bytes, QStringConverter::Utf8, 2);
    }

    void followsTheEncoding() {
        ModelOptions options = withPeriods(6, true);
        options.survivalParameter = QStringLiteral("\u00e9t\u00e9");
        options.detectedSymbol = QStringLiteral("\u00d7");
        for (auto encoding : {QStringConverter::Utf8, QStringConverter::Latin1}) {
            const QByteArray bytes = writtenBytes(options, encoding);
            QCOMPARE(modelDefinitionSize(options, 1, encoding).bytes,
                     UInt128(quint64(bytes.size())));
            compareLineOffsets(options, bytes, encoding, 1);
        }
    }

    void largeCounts_data() {
        QTest::addColumn<int>("numPeriods");
        QTest::addColumn<bool>("censoring");
        QTest::addColumn<QString>("lines");
        QTest::newRow("N64") << 64 << false << "18446744073709551616";
        QTest::newRow("N99") << 99 << false << "633825300114114700748351602688";
        QTest::newRow("N99_censoring") << 99 << true << "950737950171172051122527404031";
    }
    void largeCounts() {
        QFETCH(int, numPeriods);
        QFETCH(bool, censoring);
        QFETCH(QString, lines);
        QCOMPARE(historyCount(numPeriods, censoring).toString(), lines);
        const ModelDefinitionSize size = modelDefinitionSize(withPeriods(numPeriods, censoring));
        QCOMPARE(size.lines.toString(), lines);
        QVERIFY(!size.bytes.isSaturated());
        QVERIFY(size.bytes > size.lines * 100); // every line is longer than 100 bytes there
        // Such files are beyond any file offset: the offsets are not kept for them.
        QVERIFY(!HistoryLineOffsets(withPeriods(numPeriods, censoring)).isValid());
    }

    // Each added period a little more than doubles the file: exactness at N = 99 rests on
    // the same sums as at small N, so check the growth stays in step all the way.
    void growsSteadilyUpToTheLimit() {
        UInt128 previous = modelDefinitionSize(withPeriods(8)).bytes;
        for (int n = 9; n <= 99; ++n) {
            const UInt128 current = modelDefinitionSize(withPeriods(n)).bytes;
            QVERIFY2(current > previous * 2 && current * 10 < previous * 23,
                     qPrintable(QString::number(n)));
            previous = current;
        }
    }

    // Two ways of counting, the offsets' and the size's, agree on files too long to write.
    void offsetsReachTheWholeSize_data() {
        QTest::addColumn<int>("numPeriods");
        QTest::addColumn<bool>("censoring");
        QTest::newRow("N30") << 30 << false;
        QTest::newRow("N40_censoring") << 40 << true;
        QTest::newRow("N50") << 50 << false;
        QTest::newRow("N52_censoring") << 52 << true;
    }
    void offsetsReachTheWholeSize() {
        QFETCH(int, numPeriods);
        QFETCH(bool, censoring);
        const ModelOptions options = withPeriods(numPeriods, censoring);
        const HistoryLineOffsets offsets(options);
        const ModelDefinitionSize size = modelDefinitionSize(options);
        QVERIFY(offsets.isValid());
        QCOMPARE(UInt128(offsets.offsetOf(size.lines.toUInt64Saturated())), size.bytes);
        // The first history's line, then the second's: the all-zero line is the shortest.
        const quint64 first = offsets.offsetOf(0);
        QVERIFY(offsets.offsetOf(1) - first > quint64(numPeriods) * 2);
        QVERIFY(offsets.offsetOf(1) - first < offsets.offsetOf(2) - offsets.offsetOf(1));
    }

    void uint128Arithmetic() {
        const UInt128 big = UInt128::powerOfTwo(100);
        QCOMPARE(big.toString(), QStringLiteral("1267650600228229401496703205376"));
        QCOMPARE((big + big).toString(), UInt128::powerOfTwo(101).toString());
        QCOMPARE((UInt128(~quint64(0)) + 1).toString(), QStringLiteral("18446744073709551616"));
        QCOMPARE((UInt128(0xffffffffu) * UInt128(0xffffffffu)).toString(),
                 QStringLiteral("18446744065119617025"));
        QCOMPARE((UInt128(quint64(1) << 32) * UInt128(quint64(1) << 33)).toString(),
                 QStringLiteral("36893488147419103232"));
        QCOMPARE((UInt128(~quint64(0)) * UInt128(~quint64(0))).toString(),
                 QStringLiteral("340282366920938463426481119284349108225"));
        QCOMPARE(UInt128(3) * UInt128::powerOfTwo(98) - 1, historyCount(99, true));
        QVERIFY((UInt128::powerOfTwo(127) * 2).isSaturated());
        QVERIFY((UInt128::powerOfTwo(64) * UInt128::powerOfTwo(64)).isSaturated());
        QVERIFY((UInt128::max() + 1).isSaturated());
        QVERIFY((UInt128::max() - 5).isSaturated());
        QCOMPARE(UInt128(5) - UInt128(7), UInt128(0));
        QVERIFY(UInt128::powerOfTwo(64) > UInt128(~quint64(0)));
        QCOMPARE(UInt128::powerOfTwo(70).toUInt64Saturated(), ~quint64(0));
        QCOMPARE(UInt128::powerOfTwo(70).toDouble(), 1180591620717411303424.0);
    }

    void humanReadable_data() {
        QTest::addColumn<UInt128>("bytes");
        QTest::addColumn<QString>("locale"); // empty: the C locale's figures, as --stats has them
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << UInt128(1) << QString() << "1 byte";
        QTest::newRow("999") << UInt128(999) << QString() << "999 bytes";
        QTest::newRow("1000") << UInt128(1000) << QString() << "1.0 kB";
        QTest::newRow("999949") << UInt128(999949) << QString() << "999.9 kB";
        QTest::newRow("999950") << UInt128(999950) << QString() << "1.0 MB";
        QTest::newRow("N22") << UInt128(991954843) << QString() << "992.0 MB";
        QTest::newRow("3.2GB") << UInt128(3214567890) << QString() << "3.2 GB";
        QTest::newRow("N99") << modelDefinitionSize(withPeriods(99)).bytes << QString()
                             << "7.4e+32 bytes";
        QTest::newRow("N22_C") << UInt128(991954843) << "C"
                               << "992.0 MB";
        QTest::newRow("N22_German") << UInt128(991954843) << "de_DE"
                                    << "992,0 MB";
        QTest::newRow("999_German") << UInt128(999) << "de_DE"
                                    << "999 bytes";
        QTest::newRow("N99_German") << modelDefinitionSize(withPeriods(99)).bytes << "de_DE"
                                    << "7,4E+32 bytes";
        QTest::newRow("3.2GB_Arabic")
            << UInt128(3214567890) << "ar_EG" << QString::fromUtf8("\u0663\u066B\u0662 GB");
    }
    void humanReadable() {
        QFETCH(UInt128, bytes);
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QCOMPARE(locale.isEmpty() ? humanReadableSize(bytes)
                                  : humanReadableSize(bytes, QLocale(locale)),
                 text);
    }

    // A refusal must never read "needs 1.1 MB, only 1.1 MB is free".
    void distinctSizes_data() {
        QTest::addColumn<UInt128>("needed");
        QTest::addColumn<UInt128>("available");
        QTest::addColumn<QString>("shown");
        QTest::newRow("apart") << UInt128(10782361) << UInt128(1048576) << "10.8 MB / 1.0 MB";
        QTest::newRow("two_decimals")
            << UInt128(1100000) << UInt128(1050000) << "1.10 MB / 1.05 MB";
        QTest::newRow("three_decimals")
            << UInt128(1048576) << UInt128(1048000) << "1.049 MB / 1.048 MB";
        QTest::newRow("one_byte_apart")
            << UInt128(4370518543) << UInt128(4370518542) << "4370518543 bytes / 4370518542 bytes";
        QTest::newRow("unit_changes")
            << UInt128(1000000) << UInt128(999999) << "1.000 MB / 999.999 kB";
        QTest::newRow("below_a_kilobyte")
            << UInt128(900) << UInt128(899) << "900 bytes / 899 bytes";
        QTest::newRow("equal") << UInt128(2000) << UInt128(2000) << "2.0 kB / 2.0 kB";
    }
    void distinctSizes() {
        QFETCH(UInt128, needed);
        QFETCH(UInt128, available);
        QFETCH(QString, shown);
        const auto [first, second] = ::distinctSizes(needed, available);
        QCOMPARE(first + " / " + second, shown);
    }
};

QTEST_GUILESS_MAIN(TestModelDefinitionSize)
#include "tst_modeldefinitionsize.moc"
