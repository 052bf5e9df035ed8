// SPDX-License-Identifier: GPL-3.0-or-later
#include "historycounter.h"
#include "modeldefinitionsize.h"

#include <QTest>

namespace {

QString digitsOf(const HistoryCounter &counter) {
    QString text;
    for (int i = 1; i <= counter.numPeriods(); ++i)
        text += QString::number(counter.digit(i));
    return text;
}

QStringList enumerate(int numPeriods, bool censoring) {
    HistoryCounter counter(numPeriods, censoring);
    QStringList histories{digitsOf(counter)};
    while (counter.advance())
        histories.append(digitsOf(counter));
    return histories;
}

// Every row the model distinguishes, in increasing order, built from the definition rather
// than by stepping: occasions 1..N-1 hold 0..2 (0..1 without censoring), occasion N 0..1,
// nothing but zeros after a 2.
QStringList expectedHistories(int numPeriods, bool censoring) {
    QStringList rows{QString()};
    for (int i = 1; i <= numPeriods; ++i) {
        const int maxDigit = (censoring && i < numPeriods) ? 2 : 1;
        QStringList next;
        for (const QString &row : std::as_const(rows)) {
            if (row.contains(u'2')) {
                next.append(row + u'0');
                continue;
            }
            for (int d = 0; d <= maxDigit; ++d)
                next.append(row + QString::number(d));
        }
        rows = next;
    }
    return rows;
}

} // namespace

class TestHistoryCounter : public QObject {
    Q_OBJECT

private slots:
    void order_data() {
        QTest::addColumn<int>("numPeriods");
        QTest::addColumn<bool>("censoring");
        QTest::addColumn<QStringList>("histories");
        QTest::newRow("N1") << 1 << false << QStringList{"0", "1"};
        QTest::newRow("N2") << 2 << false << QStringList{"00", "01", "10", "11"};
        QTest::newRow("N3") << 3 << false
                            << QStringList{"000", "001", "010", "011", "100", "101", "110", "111"};
        QTest::newRow("N2_censoring") << 2 << true << QStringList{"00", "01", "10", "11", "20"};
        QTest::newRow("N3_censoring")
            << 3 << true << QStringList{"000", "001", "010", "011", "020", "100",
                                        "101", "110", "111", "120", "200"};
    }
    void order() {
        QFETCH(int, numPeriods);
        QFETCH(bool, censoring);
        QFETCH(QStringList, histories);
        QCOMPARE(enumerate(numPeriods, censoring), histories);
    }

    void matchesDefinition_data() {
        QTest::addColumn<int>("numPeriods");
        QTest::addColumn<bool>("censoring");
        for (int n = 2; n <= 10; ++n) {
            QTest::addRow("N%d", n) << n << false;
            QTest::addRow("N%d_censoring", n) << n << true;
        }
    }
    void matchesDefinition() {
        QFETCH(int, numPeriods);
        QFETCH(bool, censoring);
        const QStringList histories = enumerate(numPeriods, censoring);
        QCOMPARE(histories, expectedHistories(numPeriods, censoring));
        QCOMPARE(UInt128(quint64(histories.size())), historyCount(numPeriods, censoring));
    }

    void counts_data() {
        QTest::addColumn<int>("numPeriods");
        QTest::addColumn<int>("withoutCensoring");
        QTest::addColumn<int>("withCensoring");
        QTest::newRow("N2") << 2 << 4 << 5;
        QTest::newRow("N3") << 3 << 8 << 11;
        QTest::newRow("N4") << 4 << 16 << 23;
        QTest::newRow("N5") << 5 << 32 << 47;
        QTest::newRow("N6") << 6 << 64 << 95;
    }
    void counts() {
        QFETCH(int, numPeriods);
        QFETCH(int, withoutCensoring);
        QFETCH(int, withCensoring);
        QCOMPARE(enumerate(numPeriods, false).size(), withoutCensoring);
        QCOMPARE(enumerate(numPeriods, true).size(), withCensoring);
    }

    void finalHistoryStaysPut_data() {
        QTest::addColumn<int>("numPeriods");
        QTest::addColumn<bool>("censoring");
        QTest::addColumn<QString>("finalHistory");
        QTest::newRow("N3") << 3 << false << "111";
        QTest::newRow("N3_censoring") << 3 << true << "200";
        QTest::newRow("N5_censoring") << 5 << true << "20000";
    }
    void finalHistoryStaysPut() {
        QFETCH(int, numPeriods);
        QFETCH(bool, censoring);
        QFETCH(QString, finalHistory);
        HistoryCounter counter(numPeriods, censoring);
        while (counter.advance()) {
        }
        QCOMPARE(digitsOf(counter), finalHistory);
        QVERIFY(!counter.advance());
        QVERIFY(!counter.advance());
        QCOMPARE(digitsOf(counter), finalHistory);
    }

    void queries_data() {
        QTest::addColumn<QString>("history");
        QTest::addColumn<bool>("censoring");
        QTest::addColumn<QString>("detected");
        QTest::addColumn<QString>("censored");
        QTest::addColumn<int>("lastDetection");
        QTest::newRow("000") << "000" << false << "000"
                             << "000" << 0;
        QTest::newRow("001") << "001" << false << "001"
                             << "000" << 3;
        QTest::newRow("101") << "101" << false << "101"
                             << "000" << 3;
        QTest::newRow("110") << "110" << false << "110"
                             << "000" << 2;
        QTest::newRow("020") << "020" << true << "010"
                             << "010" << 2;
        QTest::newRow("120") << "120" << true << "110"
                             << "010" << 2;
        QTest::newRow("200") << "200" << true << "100"
                             << "100" << 1;
    }
    void queries() {
        QFETCH(QString, history);
        QFETCH(bool, censoring);
        QFETCH(QString, detected);
        QFETCH(QString, censored);
        QFETCH(int, lastDetection);
        HistoryCounter counter(history.size(), censoring);
        while (digitsOf(counter) != history)
            QVERIFY2(counter.advance(), "history never reached");
        for (int i = 1; i <= history.size(); ++i) {
            QCOMPARE(counter.isDetected(i), detected.at(i - 1) == u'1');
            QCOMPARE(counter.isCensored(i), censored.at(i - 1) == u'1');
        }
        QCOMPARE(counter.lastDetection(), lastDetection);
    }

    // The writer rebuilds only the occasions from firstChangedOccasion() on.
    void firstChangedOccasionCoversEveryChange_data() { matchesDefinition_data(); }
    void firstChangedOccasionCoversEveryChange() {
        QFETCH(int, numPeriods);
        QFETCH(bool, censoring);
        HistoryCounter counter(numPeriods, censoring);
        QCOMPARE(counter.firstChangedOccasion(), 1);
        QString previous = digitsOf(counter);
        while (counter.advance()) {
            const QString current = digitsOf(counter);
            const int first = counter.firstChangedOccasion();
            QVERIFY(first >= 1 && first <= numPeriods);
            QCOMPARE(current.left(first - 1), previous.left(first - 1));
            QVERIFY2(current.at(first - 1) != previous.at(first - 1),
                     qPrintable(previous + " -> " + current));
            previous = current;
        }
    }

    // Outside the caller's side of the contract the counter must still answer without
    // undefined behaviour; debug builds assert instead.
    void violatedPreconditionsAnswerSafely() {
#ifndef QT_NO_DEBUG
        QSKIP("debug builds assert on violated preconditions");
#else
        QCOMPARE(enumerate(1, true), (QStringList{"0", "1"}));
        HistoryCounter none(0, false);
        QCOMPARE(none.lastDetection(), 0);
        QVERIFY(!none.advance());
        HistoryCounter negative(-3, true);
        QVERIFY(!negative.advance());
        HistoryCounter counter(3, false);
        QVERIFY(!counter.isDetected(0));
        QVERIFY(!counter.isDetected(4));
        QVERIFY(!counter.isCensored(-1));
#endif
    }

    // Jumping to a history gives the one that stepping there gives, for every index.
    void jumpToAgreesWithStepping_data() {
        QTest::addColumn<int>("numPeriods");
        QTest::addColumn<bool>("censoring");
        for (int n = 1; n <= 7; ++n) {
            QTest::addRow("N%d", n) << n << false;
            if (n >= 2)
                QTest::addRow("N%d_censoring", n) << n << true;
        }
    }
    void jumpToAgreesWithStepping() {
        QFETCH(int, numPeriods);
        QFETCH(bool, censoring);
        HistoryCounter stepping(numPeriods, censoring);
        quint64 index = 0;
        do {
            HistoryCounter jumping(numPeriods, censoring);
            QVERIFY(jumping.jumpTo(index));
            QCOMPARE(digitsOf(jumping), digitsOf(stepping));
            QCOMPARE(jumping.firstChangedOccasion(), 1);
            // The steps after a jump go on as from any other history.
            HistoryCounter next(numPeriods, censoring);
            next.jumpTo(index);
            if (next.advance()) {
                HistoryCounter expected(numPeriods, censoring);
                expected.jumpTo(index + 1);
                QCOMPARE(digitsOf(next), digitsOf(expected));
            }
            ++index;
        } while (stepping.advance());
        HistoryCounter beyond(numPeriods, censoring);
        QVERIFY(!beyond.jumpTo(index));
        QCOMPARE(digitsOf(beyond), QString(numPeriods, u'0'));
    }
};

QTEST_GUILESS_MAIN(TestHistoryCounter)
#include "tst_historycounter.moc"
