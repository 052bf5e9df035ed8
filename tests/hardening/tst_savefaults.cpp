// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionprocess.h"
#include "modeloptions.h"
#include "testfiles.h"
#include "writertestsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <map>

namespace {

// Limits worth trying below a file of `size` bytes: the first bytes, the edges of the writer's
// blocks and of file-system pages, and random points; then the size itself and beyond.
QList<qint64> limitsFor(qint64 size) {
    QList<qint64> limits;
    for (qint64 k = 0; k <= 8; ++k)
        limits.append(k);
    for (const qint64 edge : {qint64(4096), qint64(16384), qint64(256 * 1024)}) {
        if (edge + 1 < size)
            limits.append({edge - 1, edge, edge + 1});
    }
    QRandomGenerator random(static_cast<quint32>(size));
    for (int i = 0; i < 6; ++i)
        limits.append(qint64(random.bounded(quint64(size))));
    limits.append({size / 2, size - 2, size - 1, size, size + 1, size + 4096});
    std::sort(limits.begin(), limits.end());
    limits.erase(std::unique(limits.begin(), limits.end()), limits.end());
    return limits;
}

QStringList argumentsFor(const ModelOptions &options) {
    QStringList arguments = {"-n", QString::number(options.numPeriods)};
    if (options.censoring)
        arguments.append("--censoring");
    return arguments;
}

std::map<QByteArray, int> injected;

QByteArray describe(const CompanionRun &run, qint64 limit) {
    return QStringLiteral("limit %1: exit status %2, code %3, stderr \"%4\"")
        .arg(limit)
        .arg(int(run.exitStatus))
        .arg(run.exitCode)
        .arg(QString::fromLocal8Bit(run.err).trimmed())
        .toUtf8();
}

} // namespace

Q_DECLARE_METATYPE(ModelOptions)

class TestSaveFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void fileSizeLimitOnSavedFile_data();
    void fileSizeLimitOnSavedFile();
    void fileSizeLimitOnStandardOutput_data();
    void fileSizeLimitOnStandardOutput();
    void fullDeviceAsStandardOutput_data();
    void fullDeviceAsStandardOutput();
    void unopenableTarget_data();
    void unopenableTarget();
};

void TestSaveFaults::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void TestSaveFaults::cleanupTestCase() {
    for (const auto &[kind, count] : injected)
        qInfo("%s: %d points injected, each one ended in exit 1 and a message", kind.constData(),
              count);
}

void TestSaveFaults::fileSizeLimitOnSavedFile_data() {
    QTest::addColumn<ModelOptions>("options");
    QTest::addColumn<QByteArray>("previous");

    // Small files stay in one block of the writer; the large one takes two.
    QTest::newRow("small_over_previous") << withPeriods(3, true) << QByteArray("earlier model\n");
    QTest::newRow("small_no_previous") << withPeriods(3, true) << QByteArray();
    QTest::newRow("medium_over_longer_previous")
        << withPeriods(7, false) << QByteArray(20000, 'x').append('\n');
    QTest::newRow("large_over_previous") << withPeriods(11, true) << QByteArray("earlier model\n");
    QTest::newRow("large_no_previous") << withPeriods(11, true) << QByteArray();
}

// Whatever byte the disk runs out at, the companion exits 1 naming the file, the earlier file
// stays byte for byte and nothing else appears beside it; from the file's size on, it succeeds.
void TestSaveFaults::fileSizeLimitOnSavedFile() {
    QFETCH(ModelOptions, options);
    QFETCH(QByteArray, previous);

    const QByteArray expected = expectedFileBytes(options);
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("model.txt"));
    const QStringList arguments = argumentsFor(options) << "-o" << target;

    for (const qint64 limit : limitsFor(expected.size())) {
        QFile::remove(target);
        if (!previous.isEmpty())
            QVERIFY(writeFile(target, previous));
        const CompanionRun run =
            runCompanion(arguments, [limit](QProcess &process) { limitFileSize(process, limit); });
        const QByteArray why = describe(run, limit);
        QVERIFY2(run.exitStatus == QProcess::NormalExit, why);
        QVERIFY2(run.out.isEmpty(), why);
        if (limit < expected.size()) {
            QVERIFY2(run.exitCode == 1, why);
            QVERIFY2(run.err.contains(target.toLocal8Bit()) && run.err.count('\n') == 1, why);
            QVERIFY2(!run.err.contains("Unknown error"), why);
            if (previous.isEmpty()) {
                QVERIFY2(entriesOf(dir.path()).isEmpty(),
                         why + entriesOf(dir.path()).join(' ').toUtf8());
            } else {
                QVERIFY2(readFile(target) == previous, why);
                QVERIFY2(entriesOf(dir.path()) == QStringList{"model.txt"}, why);
            }
            ++injected["file size limit, saved file"];
        } else {
            QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), why);
            QVERIFY2(readFile(target) == expected, why);
            QVERIFY2(entriesOf(dir.path()) == QStringList{"model.txt"}, why);
        }
    }
}

void TestSaveFaults::fileSizeLimitOnStandardOutput_data() {
    QTest::addColumn<ModelOptions>("options");
    QTest::newRow("small") << withPeriods(3, true);
    QTest::newRow("large") << withPeriods(11, true);
}

// Standard output cannot be replaced atomically, but a cut-off output must never pass for a
// whole one: exit 1 with a message, and what did arrive is the file's beginning.
void TestSaveFaults::fileSizeLimitOnStandardOutput() {
    QFETCH(ModelOptions, options);

    const QByteArray expected = expectedFileBytes(options);
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString output = dir.filePath(QStringLiteral("out.txt"));
    for (const qint64 limit : limitsFor(expected.size())) {
        QFile::remove(output);
        const CompanionRun run = runCompanion(argumentsFor(options), [&](QProcess &process) {
            limitFileSize(process, limit);
            process.setStandardOutputFile(output);
        });
        const QByteArray why = describe(run, limit);
        const QByteArray written = readFile(output);
        QVERIFY2(run.exitStatus == QProcess::NormalExit, why);
        if (limit < expected.size()) {
            QVERIFY2(run.exitCode == 1, why);
            QVERIFY2(run.err.contains("standard output"), why);
            QVERIFY2(written.size() <= limit && expected.startsWith(written), why);
            ++injected["file size limit, standard output"];
        } else {
            QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), why);
            QVERIFY2(written == expected, why);
        }
    }
}

void TestSaveFaults::fullDeviceAsStandardOutput_data() {
    QTest::addColumn<ModelOptions>("options");
    // The tiny file fails only when it is flushed at the end, the large one in the middle.
    QTest::newRow("tiny") << withPeriods(2, false);
    QTest::newRow("large") << withPeriods(13, true);
}

void TestSaveFaults::fullDeviceAsStandardOutput() {
    QFETCH(ModelOptions, options);
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("this system has no /dev/full");

    const CompanionRun run = runCompanion(argumentsFor(options), [](QProcess &process) {
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
    });
    const QByteArray why = describe(run, -1);
    QVERIFY2(run.exitStatus == QProcess::NormalExit && run.exitCode == 1, why);
    QVERIFY2(run.err.contains("standard output") && run.err.contains("No space left"), why);
    ++injected["/dev/full as standard output"];
}

void TestSaveFaults::unopenableTarget_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("missing_directory") << "missing/model.txt";
    QTest::newRow("missing_directories") << "missing/deeper/model.txt";
    QTest::newRow("through_a_regular_file") << "plain/model.txt";
    QTest::newRow("through_a_regular_file_deeper") << "plain/sub/model.txt";
    QTest::newRow("target_is_a_directory") << "folder";
    QTest::newRow("dangling_link_into_missing_directory") << "dangling";
}

// A target that cannot be created: exit 1 with one line naming it, and nothing in the tree
// changes, not even a directory or a temporary file.
void TestSaveFaults::unopenableTarget() {
    QFETCH(QString, target);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath("plain"), "not a directory\n"));
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QVERIFY(writeFile(dir.filePath("folder/inside.txt"), "kept\n"));
    QVERIFY(QFile::link(dir.filePath("missing/model.txt"), dir.filePath("dangling")));
    const auto snapshot = [&dir] {
        QStringList tree;
        QDirIterator it(dir.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            tree.append(path + u' ' + QString::fromUtf8(readFile(path).toHex()));
        }
        tree.sort();
        return tree;
    };
    const QStringList before = snapshot();

    const QString path = dir.filePath(target);
    const CompanionRun run = runCompanion({"-n", "6", "--censoring", "-o", path});
    const QByteArray why = describe(run, -1);
    QVERIFY2(run.exitStatus == QProcess::NormalExit && run.exitCode == 1, why);
    QVERIFY2(run.err.contains(path.toLocal8Bit()) && run.err.count('\n') == 1, why);
    QCOMPARE(snapshot(), before);
    ++injected["target that cannot be created"];
}

QTEST_GUILESS_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
