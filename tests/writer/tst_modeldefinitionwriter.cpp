// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionsize.h"
#include "testfiles.h"
#include "workedexamples.h"
#include "writertestsupport.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const QByteArray &exampleA = WorkedExampleA;
const QByteArray &exampleB = WorkedExampleB;

QList<QByteArray> linesOf(const QByteArray &bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QList<QByteArray> section(const QByteArray &bytes, const QByteArray &keyword) {
    const QList<QByteArray> lines = linesOf(bytes);
    const qsizetype start = lines.indexOf(keyword);
    QList<QByteArray> body;
    for (qsizetype i = start + 1; i < lines.size() && !lines.at(i).isEmpty(); ++i)
        body.append(lines.at(i));
    return body;
}

QList<QByteArray> historyLines(const QByteArray &bytes) {
    QList<QByteArray> lines = section(bytes, "likelihood");
    lines.removeFirst(); // "CJS Likelihood"
    return lines;
}

} // namespace

class TestModelDefinitionWriter : public QObject {
    Q_OBJECT

private slots:
    void workedExamples_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("A_N2_defaults") << withPeriods(2) << exampleA;
        QTest::newRow("B_N3_censoring") << withPeriods(3, true) << exampleB;
        for (const ReducedExample &example : reducedExamples())
            QTest::newRow(example.name) << example.options << example.file;
        // Without censoring, constant censoring has nothing to make constant.
        QTest::newRow("A_constant_censoring_without_censoring")
            << reducedModel(2, false, false, false, true) << exampleA;
    }
    void workedExamples() {
        QFETCH(ModelOptions, options);
        QFETCH(QByteArray, expected);
        QCOMPARE(writtenBytes(options), expected);
        QCOMPARE(writtenText(options), QString::fromLatin1(expected));
    }

    void parametersSection_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("N2_censoring")
            << withPeriods(2, true) << QByteArrayList{"s0, p1, c1, lambda;"};
        QTest::newRow("N3") << withPeriods(3) << QByteArrayList{"s0, p1, s1, p2, lambda;"};
        QTest::newRow("N6_break_before_final")
            << withPeriods(6)
            << QByteArrayList{"s0, p1, s1, p2, s2,", "p3, s3, p4, s4, p5,", "lambda;"};
        QTest::newRow("N4_censoring_nine_items")
            << withPeriods(4, true)
            << QByteArrayList{"s0, p1, c1, s1, p2,", "c2, s2, p3, c3, lambda;"};
        ModelOptions shifted = withPeriods(2);
        shifted.initialSurvivalIndex = 1;
        QTest::newRow("S0_1") << shifted << QByteArrayList{"s1, p1, lambda;"};
        ModelOptions empty = withPeriods(2);
        empty.survivalParameter.clear();
        QTest::newRow("empty_survival") << empty << QByteArrayList{"0, p1, lambda;"};
    }
    void parametersSection() {
        QFETCH(ModelOptions, options);
        QFETCH(QByteArrayList, expected);
        QCOMPARE(section(writtenBytes(options), "parameters"), expected);
    }

    // N = 6: the parameters section as the rules declare it, and the rest of the file as the
    // careful hand edit of the full model makes it.
    void reducedModelsOfSixPeriods_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArray>("parameters");
        QTest::newRow("phi(.)p(t)")
            << reducedModel(6, true, false) << QByteArray("s, p1, p2, p3, p4,\np5, p6;");
        QTest::newRow("phi(t)p(.)")
            << reducedModel(6, false, true) << QByteArray("s0, p, s1, s2, s3,\ns4, s5;");
        QTest::newRow("phi(.)p(.)") << reducedModel(6, true, true) << QByteArray("s, p;");
        QTest::newRow("phi(t)p(t)c(.)")
            << reducedModel(6, false, false, true, true)
            << QByteArray("s0, p1, c, s1, p2,\ns2, p3, s3, p4, s4,\np5, lambda;");
        QTest::newRow("phi(.)p(t)c(t)")
            << reducedModel(6, true, false, true)
            << QByteArray("s, p1, c1, p2, c2,\np3, c3, p4, c4, p5,\nc5, p6;");
        QTest::newRow("phi(.)p(t)c(.)") << reducedModel(6, true, false, true, true)
                                        << QByteArray("s, p1, c, p2, p3,\np4, p5, p6;");
        QTest::newRow("phi(t)p(.)c(t)")
            << reducedModel(6, false, true, true)
            << QByteArray("s0, p, c1, s1, c2,\ns2, c3, s3, c4, s4,\nc5, s5;");
        QTest::newRow("phi(t)p(.)c(.)") << reducedModel(6, false, true, true, true)
                                        << QByteArray("s0, p, c, s1, s2,\ns3, s4, s5;");
        QTest::newRow("phi(.)p(.)c(t)")
            << reducedModel(6, true, true, true) << QByteArray("s, p, c1, c2, c3,\nc4, c5;");
        QTest::newRow("phi(.)p(.)c(.)")
            << reducedModel(6, true, true, true, true) << QByteArray("s, p, c;");
    }
    void reducedModelsOfSixPeriods() {
        QFETCH(ModelOptions, options);
        QFETCH(QByteArray, parameters);
        const QByteArray full = writtenBytes(withPeriods(6, options.censoring));
        const QByteArray expected = editedToReduced(full, options, parameters);
        QVERIFY(expected != full);
        QCOMPARE(writtenBytes(options), expected);
        QCOMPARE(writtenText(options), QString::fromUtf8(expected));
    }

    void variablesIgnoreCensoring() {
        for (int n : {2, 3, 7}) {
            QCOMPARE(section(writtenBytes(withPeriods(n, true)), "variables"),
                     section(writtenBytes(withPeriods(n, false)), "variables"));
        }
    }

    void variablesLines_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<QByteArray>("lastLine");
        ModelOptions shifted = withPeriods(2);
        shifted.initialSurvivalIndex = 1;
        QTest::newRow("S0_1") << shifted << QByteArray("X0 = 1 - s1 + s1*(1-p1)*X1;");
        ModelOptions empty = withPeriods(2);
        empty.survivalParameter.clear();
        QTest::newRow("empty_survival") << empty << QByteArray("X0 = 1 - 0 + 0*(1-p1)*X1;");
        ModelOptions s0 = withPeriods(4);
        s0.initialSurvivalIndex = 99;
        QTest::newRow("S0_99_three_digits") << s0 << QByteArray("X0 = 1 - s99 + s99*(1-p1)*X1;");
    }
    void variablesLines() {
        QFETCH(ModelOptions, options);
        QFETCH(QByteArray, lastLine);
        QCOMPARE(section(writtenBytes(options), "variables").constLast(), lastLine);
    }

    void historyLines_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("line");

        QTest::newRow("N2_censoring_0") << withPeriods(2, true) << 0 << QByteArray("0 0, X0,");
        QTest::newRow("N2_censoring_1")
            << withPeriods(2, true) << 1 << QByteArray("0 1, s0*(1-p1)*lambda,");
        QTest::newRow("N2_censoring_2")
            << withPeriods(2, true) << 2 << QByteArray("1 0, s0*p1*(1-c1)*X1,");
        QTest::newRow("N2_censoring_3")
            << withPeriods(2, true) << 3 << QByteArray("1 1, s0*p1*(1-c1)*lambda,");
        QTest::newRow("N2_censoring_4")
            << withPeriods(2, true) << 4 << QByteArray("2 0, s0*p1*c1;");
        QTest::newRow("N3_first") << withPeriods(3) << 0 << QByteArray("0 0 0, X0,");
        QTest::newRow("N3_last") << withPeriods(3) << 7 << QByteArray("1 1 1, s0*p1*s1*p2*lambda;");

        ModelOptions shifted = withPeriods(2);
        shifted.initialSurvivalIndex = 1;
        QTest::newRow("S0_1_third") << shifted << 2 << QByteArray("1 0, s1*p1*X1,");

        ModelOptions release = shifted;
        release.initialRelease = true;
        QTest::newRow("release_0") << release << 0 << QByteArray("1 0 0, X0,");
        QTest::newRow("release_1") << release << 1 << QByteArray("1 0 1, s1*(1-p1)*lambda,");
        QTest::newRow("release_2") << release << 2 << QByteArray("1 1 0, s1*p1*X1,");
        QTest::newRow("release_3") << release << 3 << QByteArray("1 1 1, s1*p1*lambda;");

        ModelOptions releaseSymbol = withPeriods(2);
        releaseSymbol.initialRelease = true;
        releaseSymbol.detectedSymbol = "D";
        releaseSymbol.notDetectedSymbol = "..";
        QTest::newRow("release_uses_detected_symbol")
            << releaseSymbol << 1 << QByteArray("D .. D, s0*(1-p1)*lambda,");

        ModelOptions emptySymbols = withPeriods(2);
        emptySymbols.detectedSymbol.clear();
        emptySymbols.notDetectedSymbol.clear();
        QTest::newRow("empty_symbols") << emptySymbols << 0 << QByteArray(" , X0,");

        ModelOptions odd = withPeriods(2);
        odd.survivalParameter = "phi ";
        odd.detectionParameter = "p(t)";
        odd.finalParameter = "l, m";
        QTest::newRow("punctuation_unescaped")
            << odd << 1 << QByteArray("0 1, phi 0*(1-p(t)1)*l, m,");
    }
    void historyLines() {
        QFETCH(ModelOptions, options);
        QFETCH(int, index);
        QFETCH(QByteArray, line);
        QCOMPARE(::historyLines(writtenBytes(options)).value(index), line);
    }

    // Products by their structure: the all-zero history is X0 alone; a censored last
    // detection ends in C(L) with neither X nor F; a detection at N ends in F.
    void productEndings_data() {
        QTest::addColumn<bool>("censoring");
        for (int n = 2; n <= 7; ++n) {
            QTest::addRow("N%d", n) << false;
            QTest::addRow("N%d_censoring", n) << true;
        }
    }
    void productEndings() {
        QFETCH(bool, censoring);
        const int n = QByteArray(QTest::currentDataTag()).mid(1, 1).toInt();
        const QList<QByteArray> lines = ::historyLines(writtenBytes(withPeriods(n, censoring)));
        QCOMPARE(lines.constFirst(), QByteArray(QByteArray("0 ").repeated(n - 1) + "0, X0,"));
        for (const QByteArray &line : lines) {
            const QList<QByteArray> row = line.left(line.indexOf(',')).split(' ');
            const QByteArray product = line.mid(line.indexOf(", ") + 2).chopped(1);
            const qsizetype censoredAt = row.indexOf("2");
            if (censoredAt >= 0) {
                QVERIFY2(product.endsWith("*c" + QByteArray::number(censoredAt + 1)), line);
                QVERIFY2(!product.contains("X") && !product.contains("lambda"), line);
            } else if (row.constLast() == "1") {
                QVERIFY2(product.endsWith("*lambda"), line);
            }
        }
    }

    void nonAsciiTextInTheStreamsEncoding_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QByteArray>("expectedLine");
        QTest::newRow("utf8") << int(QStringConverter::Utf8)
                              << QByteArray("\xc3\xa9 \xc3\xa9, \xcf\x86"
                                            "0*p1*lambda;");
        QTest::newRow("latin1") << int(QStringConverter::Latin1) << QByteArray();
    }
    void nonAsciiTextInTheStreamsEncoding() {
        QFETCH(int, encoding);
        QFETCH(QByteArray, expectedLine);
        ModelOptions options = withPeriods(2);
        options.survivalParameter = QStringLiteral("\u03c6");
        options.detectedSymbol = QStringLiteral("\u00e9");
        const QByteArray bytes = writtenBytes(options, QStringConverter::Encoding(encoding));
        if (encoding == QStringConverter::Utf8) {
            QCOMPARE(::historyLines(bytes).constLast(), expectedLine);
        } else {
            QVERIFY(::historyLines(bytes).constLast().startsWith("\xe9 \xe9, "));
        }
        QVERIFY(!bytes.startsWith("\xef\xbb\xbf"));
    }

    // A stream that still owes a byte-order mark takes the path through the stream; the
    // text after the mark must be the same.
    void byteOrderMarkStreamGetsSameText() {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QTextStream out(&buffer);
        out.setEncoding(QStringConverter::Utf8);
        out.setGenerateByteOrderMark(true);
        out << "head\n";
        ModelDefinitionWriter::write(out, withPeriods(3, true));
        out.flush();
        QCOMPARE(bytes, "\xef\xbb\xbfhead\n" + exampleB);
    }

    void textAlreadyInTheStreamComesFirst() {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QTextStream out(&buffer);
        out << "before\n";
        ModelDefinitionWriter::write(out, withPeriods(2));
        out << "after\n";
        out.flush();
        QCOMPARE(bytes, "before\n" + exampleA + "after\n");
    }

    void bothPathsAgreeOnLargeFiles_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::newRow("N12") << withPeriods(12);
        ModelOptions odd = withPeriods(11, true);
        odd.survivalParameter = QStringLiteral("\u03c6_");
        odd.detectedSymbol = "yes";
        odd.notDetectedSymbol = "";
        odd.censoredSymbol = "cens";
        odd.initialRelease = true;
        odd.initialSurvivalIndex = 97;
        QTest::newRow("N11_odd_texts") << odd;
        QTest::newRow("N12_phi(.)p(.)") << reducedModel(12, true, true);
        ModelOptions oddReduced = odd;
        oddReduced.constantDetection = true;
        oddReduced.constantCensoring = true;
        QTest::newRow("N11_odd_texts_phi(t)p(.)c(.)") << oddReduced;
    }
    void bothPathsAgreeOnLargeFiles() {
        QFETCH(ModelOptions, options);
        QCOMPARE(QString::fromUtf8(writtenBytes(options)), writtenText(options));
    }

    void progressReportsAndCancels() {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QTextStream out(&buffer);
        QList<quint64> calls;
        const auto outcome =
            ModelDefinitionWriter::write(out, withPeriods(17), [&](quint64 written, quint64 total) {
                calls.append(written);
                return total == 131072 && written < 3 * ModelDefinitionWriter::ProgressInterval;
            });
        QCOMPARE(outcome, ModelDefinitionWriter::Outcome::Cancelled);
        QCOMPARE(calls, (QList<quint64>{ModelDefinitionWriter::ProgressInterval,
                                        2 * ModelDefinitionWriter::ProgressInterval,
                                        3 * ModelDefinitionWriter::ProgressInterval}));
        const UInt128 wholeFile = modelDefinitionSize(withPeriods(17)).bytes;
        QVERIFY(UInt128(quint64(bytes.size())) * 2 < wholeFile); // stopped early
    }

    void progressEndsAtTheTotal() {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QTextStream out(&buffer);
        quint64 lastWritten = 0, lastTotal = 0;
        const auto outcome = ModelDefinitionWriter::write(out, withPeriods(15, true),
                                                          [&](quint64 written, quint64 total) {
                                                              lastWritten = written;
                                                              lastTotal = total;
                                                              return true;
                                                          });
        QCOMPARE(outcome, ModelDefinitionWriter::Outcome::Completed);
        QCOMPARE(lastTotal, quint64(3 * 16384 - 1));
        QCOMPARE(lastWritten, lastTotal);
    }

    // Text that goes through the stream is handed over as text: a lone surrogate, which no
    // encoding holds, reaches a string target as it was.
    void streamTakesTheTextItself() {
        ModelOptions options = withPeriods(3);
        const QString survival = QStringLiteral("s") + QChar(0xD800);
        options.survivalParameter = survival;
        const QString text = writtenText(options);
        QVERIFY(text.contains(survival + "0*(1-p1)*" + survival + "1*(1-p2)*lambda"));
        QVERIFY(!text.contains(QChar(QChar::ReplacementCharacter)));
    }

    // A device that is not a regular file is touched only by the calling thread, which also
    // hears of progress; the text is made on another thread meanwhile.
    void deviceAndProgressStayOnTheCallingThread() {
        class ThreadRecordingDevice : public QIODevice {
        public:
            ThreadRecordingDevice() { open(QIODevice::WriteOnly); }
            QSet<QThread *> writers;
            qint64 bytes = 0;

        protected:
            qint64 readData(char *, qint64) override { return -1; }
            qint64 writeData(const char *, qint64 length) override {
                writers.insert(QThread::currentThread());
                bytes += length;
                return length;
            }
        } device;
        QTextStream out(&device);
        QSet<QThread *> reporters;
        const auto outcome =
            ModelDefinitionWriter::write(out, withPeriods(16, true), [&](quint64, quint64) {
                reporters.insert(QThread::currentThread());
                return true;
            });
        QCOMPARE(outcome, ModelDefinitionWriter::Outcome::Completed);
        QCOMPARE(device.writers, QSet<QThread *>{QThread::currentThread()});
        QCOMPARE(reporters, QSet<QThread *>{QThread::currentThread()});
        QCOMPARE(UInt128(quint64(device.bytes)), modelDefinitionSize(withPeriods(16, true)).bytes);
    }

    // A regular file is written by two workers, each chunk in place or, when the file is
    // opened for appending, in turns: the same bytes as any other device, where the file
    // stood, and whatever comes next goes after them.
    void regularFilesGetTheSameBytes_data() {
        QTest::addColumn<ModelOptions>("options");
        QTest::addColumn<FileOpening>("opening");
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("N14") << withPeriods(14) << FileOpening::FileDevice << QByteArray();
        QTest::newRow("N16_censoring")
            << withPeriods(16, true) << FileOpening::FileDevice << QByteArray();
        ModelOptions odd = withPeriods(15, true);
        odd.survivalParameter = QStringLiteral("\u03c6");
        odd.detectedSymbol = "yes";
        odd.initialRelease = true;
        odd.initialSurvivalIndex = 90;
        QTest::newRow("N15_odd_texts") << odd << FileOpening::FileDevice << QByteArray();
        QTest::newRow("N16_phi(.)p(.)")
            << reducedModel(16, true, true) << FileOpening::FileDevice << QByteArray();
        QTest::newRow("N15_censoring_phi(.)p(t)c(.)")
            << reducedModel(15, true, false, true, true) << FileOpening::FileDevice << QByteArray();
        ModelOptions oddReduced = odd;
        oddReduced.constantSurvival = true;
        QTest::newRow("N15_odd_texts_phi(.)p(t)")
            << oddReduced << FileOpening::FileDevice << QByteArray();
        // Lines of tens of kilobytes: chunks of a few lines, placed at offsets all over.
        ModelOptions longNames = withPeriods(10, true);
        longNames.survivalParameter = QString(1000, u's');
        longNames.censoredSymbol = QStringLiteral("\u00e9t\u00e9");
        QTest::newRow("N10_censoring_chunks_of_a_few_lines")
            << longNames << FileOpening::FileDevice << QByteArray();
        QTest::newRow("N14_after_text_in_the_file")
            << withPeriods(14) << FileOpening::FileDevice << QByteArray("head\n");
        QTest::newRow("N16_censoring_descriptor_at_an_offset")
            << withPeriods(16, true) << FileOpening::Descriptor << QByteArray("head\n");
        QTest::newRow("N14_descriptor_at_the_start")
            << withPeriods(14) << FileOpening::Descriptor << QByteArray();
        QTest::newRow("N15_appending_file")
            << odd << FileOpening::AppendingFileDevice << QByteArray("earlier\n");
        QTest::newRow("N16_censoring_appending_descriptor")
            << withPeriods(16, true) << FileOpening::AppendingDescriptor << QByteArray("earlier\n");
    }
    void regularFilesGetTheSameBytes() {
        QFETCH(ModelOptions, options);
        QFETCH(FileOpening, opening);
        QFETCH(QByteArray, before);
        QTemporaryDir dir;
        const FileWriting written =
            writtenIntoFile(dir.filePath("model.txt"), options, opening, before, "tail\n");
        QCOMPARE(written.outcome, ModelDefinitionWriter::Outcome::Completed);
        QCOMPARE(written.status, QTextStream::Ok);
        QCOMPARE(written.bytes, before + expectedFileBytes(options) + "tail\n");
    }

    // Cancelled at a progress point, the file holds exactly the lines up to that point.
    void regularFileStopsAtTheProgressPoint() {
        QTemporaryDir dir;
        QFile file(dir.filePath("model.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QTextStream out(&file);
        out.setEncoding(QStringConverter::Utf8);
        QList<quint64> calls;
        const auto outcome =
            ModelDefinitionWriter::write(out, withPeriods(18), [&](quint64 written, quint64) {
                calls.append(written);
                return written < 3 * ModelDefinitionWriter::ProgressInterval;
            });
        file.close();
        QCOMPARE(outcome, ModelDefinitionWriter::Outcome::Cancelled);
        QCOMPARE(calls, (QList<quint64>{ModelDefinitionWriter::ProgressInterval,
                                        2 * ModelDefinitionWriter::ProgressInterval,
                                        3 * ModelDefinitionWriter::ProgressInterval}));
        const QByteArray whole = writtenBytes(withPeriods(18));
        const QByteArray written = readFile(file.fileName());
        QVERIFY(whole.startsWith(written));
        const qsizetype likelihood = written.indexOf("\"CJS Likelihood\"\n");
        QCOMPARE(written.mid(likelihood).count('\n') - 1,
                 qsizetype(3 * ModelDefinitionWriter::ProgressInterval));
    }

    void failedDeviceStopsTheWriting() {
        QFile full(QStringLiteral("/dev/full"));
        if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            QSKIP("/dev/full is not available");
        QTextStream out(&full);
        qint64 calls = 0;
        const auto outcome =
            ModelDefinitionWriter::write(out, withPeriods(20), [&](quint64, quint64) {
                ++calls;
                return true;
            });
        QCOMPARE(outcome, ModelDefinitionWriter::Outcome::Failed);
        QCOMPARE(out.status(), QTextStream::WriteFailed);
        QVERIFY(calls <= 1); // gave up at the first check, not after a million lines
    }
};

QTEST_GUILESS_MAIN(TestModelDefinitionWriter)
#include "tst_modeldefinitionwriter.moc"
