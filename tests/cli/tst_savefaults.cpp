// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionprocess.h"
#include "modeloptions.h"
#include "smallvolume.h"
#include "specialfiles.h"
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
#include <cerrno>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
    void specialTargets_data();
    void specialTargets();
    void standardOutputOnAFullVolume();
    void linksMeasureTheVolumeTheyLeadTo_data();
    void linksMeasureTheVolumeTheyLeadTo();
    void replacingKeepsOwnerGroupAndPermissions();
    void readOnlyDirectoryIsExplained();
    void failedFlushKeepsTheEarlierFile_data();
    void failedFlushKeepsTheEarlierFile();
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
    // Written in turns by two workers, chunk after chunk.
    QTest::newRow("two_workers_over_previous")
        << withPeriods(15, true) << QByteArray("earlier model\n");
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
    QTest::newRow("two_workers") << withPeriods(15, true);
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

void TestSaveFaults::specialTargets_data() {
    QTest::addColumn<QString>("target"); // a path in the temporary directory, or absolute
    QTest::addColumn<QString>("make");   // what to make there first
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("onStandardOutput"); // the model arrives on standard output
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("dev_null") << "/dev/null"
                              << "" << 0 << false << QByteArray();
    QTest::newRow("null_device_made_here") << "null"
                                           << "null" << 0 << false << QByteArray();
    QTest::newRow("dev_full") << "/dev/full"
                              << "" << 1 << false << QByteArray("No space left on device");
    QTest::newRow("full_device_made_here")
        << "full"
        << "full" << 1 << false << QByteArray("the output is incomplete");
    QTest::newRow("fifo_with_reader") << "fifo"
                                      << "fifo" << 0 << false << QByteArray();
    QTest::newRow("dash_is_standard_output") << "-"
                                             << "" << 0 << true << QByteArray();
    QTest::newRow("dev_stdout_into_a_pipe") << "/dev/stdout"
                                            << "" << 0 << true << QByteArray();
    QTest::newRow("dev_fd_1") << "/dev/fd/1"
                              << "" << 0 << true << QByteArray();
    QTest::newRow("link_to_dev_stdout") << "out"
                                        << "stdout link" << 0 << true << QByteArray();
    QTest::newRow("directory") << "folder"
                               << "directory" << 1 << false << QByteArray("it is a directory");
    QTest::newRow("socket") << "socket"
                            << "socket" << 1 << false << QByteArray("socket");
}

// What is not a regular file is written straight through and stays what it was; a directory
// or a socket is refused. A file named "-" is never made.
void TestSaveFaults::specialTargets() {
    QFETCH(QString, target);
    QFETCH(QString, make);
    QFETCH(int, exitCode);
    QFETCH(bool, onStandardOutput);
    QFETCH(QByteArray, message);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path =
        QDir::isAbsolutePath(target) || target == "-" ? target : dir.filePath(target);
    int socket = -1;
    bool made = true;
    if (make == "null")
        made = makeNullDevice(path);
    else if (make == "full")
        made = makeFullDevice(path);
    else if (make == "fifo")
        made = makeFifo(path);
    else if (make == "directory")
        made = QDir(dir.path()).mkdir(target);
    else if (make == "socket")
        made = (socket = makeSocket(path)) >= 0;
    else if (make == "stdout link")
        made = QFile::link(QStringLiteral("/dev/stdout"), path);
    if (!made)
        QSKIP(qPrintable("cannot make a " + make + " here (mknod needs root)"));
    const QString kindBefore = target == "-" ? QString() : fileKind(path);

    QByteArray received;
    std::thread reader;
    if (make == "fifo")
        reader = std::thread([&] { received = readFile(path); });
    const QDir workingDirectory(dir.path());
    const CompanionRun run =
        runCompanion({"-n", "5", "--censoring", "-o", path},
                     [&](QProcess &process) { process.setWorkingDirectory(dir.path()); });
    if (reader.joinable())
        reader.join();
    if (socket >= 0)
        ::close(socket);

    const QByteArray why = describe(run, -1);
    QVERIFY2(run.exitStatus == QProcess::NormalExit && run.exitCode == exitCode, why);
    QVERIFY2(run.err.contains(message), why);
    const QByteArray expected = expectedFileBytes(withPeriods(5, true));
    QCOMPARE(run.out, onStandardOutput ? expected : QByteArray());
    if (make == "fifo")
        QCOMPARE(received, expected);
    if (!kindBefore.isEmpty())
        QCOMPARE(fileKind(path), kindBefore);
    QVERIFY(!QFile::exists(dir.filePath("-")));
    QCOMPARE(fileKind(QStringLiteral("/dev/null")), QString("character device"));
}

// Standard output that is a file on a volume too small for the model: refused before the
// first byte, as -o would be.
void TestSaveFaults::standardOutputOnAFullVolume() {
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SmallVolume small(dir.filePath("small"), "1m");
    if (!small.isMounted())
        QSKIP("cannot mount a small tmpfs here (needs root)");
    const QString output = small.filePath("x.txt");
    const CompanionRun run = runCompanion(
        {"-n", "16"}, [&](QProcess &process) { process.setStandardOutputFile(output); });
    const QByteArray why = describe(run, -1);
    QVERIFY2(run.exitCode == 1 && run.err.contains("standard output") && run.err.contains("free"),
             why);
    QCOMPARE(QFileInfo(output).size(), 0);
}

void TestSaveFaults::linksMeasureTheVolumeTheyLeadTo_data() {
    QTest::addColumn<bool>("linkOnSmallVolume");
    QTest::newRow("link_on_small_volume_to_large") << true;
    QTest::newRow("link_on_large_volume_to_small") << false;
}

// The save follows a link to the file it points to and writes beside that file: the free
// space that counts is that of the volume the link leads to.
void TestSaveFaults::linksMeasureTheVolumeTheyLeadTo() {
    QFETCH(bool, linkOnSmallVolume);
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SmallVolume small(dir.filePath("small"), "1m");
    if (!small.isMounted())
        QSKIP("cannot mount a small tmpfs here (needs root)");
    const QString link = linkOnSmallVolume ? small.filePath("link.txt") : dir.filePath("link.txt");
    const QString target =
        linkOnSmallVolume ? dir.filePath("model.txt") : small.filePath("target.txt");
    QVERIFY(QFile::link(target, link));

    const CompanionRun run = runCompanion({"-n", "16", "-o", link});

    const QByteArray why = describe(run, -1);
    QCOMPARE(fileKind(link), QString("link"));
    if (linkOnSmallVolume) {
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), why);
        QCOMPARE(readFile(target), expectedFileBytes(withPeriods(16)));
    } else {
        QVERIFY2(run.exitCode == 1 && run.err.contains("is free there"), why);
        QVERIFY(!QFile::exists(target));
        QCOMPARE(entriesOf(small.filePath(QString())), QStringList());
    }
}

// As root the new file would otherwise belong to root.
void TestSaveFaults::replacingKeepsOwnerGroupAndPermissions() {
    if (::geteuid() != 0)
        QSKIP("only root may give a file to another owner");
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("model.txt");
    QVERIFY(writeFile(target, "earlier\n"));
    const QByteArray name = QFile::encodeName(target);
    QCOMPARE(::chown(name.constData(), 12345, 23456), 0);
    QCOMPARE(::chmod(name.constData(), 0640), 0);

    const CompanionRun run = runCompanion({"-n", "4", "-o", target});

    QCOMPARE(run.exitCode, 0);
    struct stat after {};
    QCOMPARE(::stat(name.constData(), &after), 0);
    QCOMPARE(after.st_uid, uid_t(12345));
    QCOMPARE(after.st_gid, gid_t(23456));
    QCOMPARE(after.st_mode & 07777, mode_t(0640));
    QCOMPARE(readFile(target), expectedFileBytes(withPeriods(4)));
}

// A file is replaced through a new file beside it: in a directory the user may not write,
// even a writable file cannot be replaced, and the message says why.
void TestSaveFaults::readOnlyDirectoryIsExplained() {
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("readonly");
    QVERIFY(QDir(dir.path()).mkdir("readonly"));
    const QString target = folder + "/model.txt";
    QVERIFY(writeFile(target, "earlier\n"));
    const QByteArray top = QFile::encodeName(dir.path());
    QCOMPARE(::chmod(top.constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0666), 0);

    const bool root = ::geteuid() == 0;
    const CompanionRun run = runCompanion({"-n", "4", "-o", target}, [root](QProcess &process) {
        if (root) {
            process.setChildProcessModifier([] {
                // As nobody, so that the directory's mode counts.
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
        }
    });
    ::chmod(QFile::encodeName(folder).constData(), 0755);

    const QByteArray why = describe(run, -1);
    QVERIFY2(run.exitCode == 1, why);
    QVERIFY2(run.err.contains("the directory must be writable"), why);
    QCOMPARE(readFile(target), QByteArray("earlier\n"));
}

void TestSaveFaults::failedFlushKeepsTheEarlierFile_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("saved");

    QTest::newRow("input_output_error") << EIO << false;
    QTest::newRow("no_space_at_the_flush") << ENOSPC << false;
    QTest::newRow("quota_at_the_flush") << EDQUOT << false;
    // A file system that cannot flush at all: the written file stands.
    QTest::newRow("flush_not_supported") << EINVAL << true;
}

// Every byte is written, then the flush to the disk fails: the new file must not replace the
// earlier one, and the companion must say so.
void TestSaveFaults::failedFlushKeepsTheEarlierFile() {
    QFETCH(int, error);
    QFETCH(bool, saved);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("model.txt");
    QVERIFY(writeFile(target, "earlier\n"));
    const ModelOptions options = withPeriods(11, true);
    const CompanionRun run =
        runCompanion(argumentsFor(options) << "-o" << target,
                     [error](QProcess &process) { failFlushes(process, error); });

    const QByteArray why = describe(run, -1);
    QVERIFY2(run.exitStatus == QProcess::NormalExit, why);
    QCOMPARE(entriesOf(dir.path()), QStringList{"model.txt"});
    if (saved) {
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), why);
        QVERIFY(readFile(target) == expectedFileBytes(options));
    } else {
        QVERIFY2(run.exitCode == 1, why);
        QVERIFY2(run.err.contains(target.toLocal8Bit()), why);
        QVERIFY2(run.err.contains(std::strerror(error)), why);
        QCOMPARE(readFile(target), QByteArray("earlier\n"));
    }
}

QTEST_GUILESS_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
