// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionprocess.h"
#include "modelfilesaver.h"
#include "modeloptions.h"
#include "outputtarget.h"
#include "permissions.h"
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
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <map>
#include <sys/ioctl.h>
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

// How the disk fails at a byte: the file may grow no further (a full disk, the file size
// limit), or that byte cannot be written but those after it can (a failing sector).
enum class DiskFault { FileSizeLimit, BadSpot };

void injectFault(QProcess &process, DiskFault fault, qint64 at) {
    if (fault == DiskFault::FileSizeLimit)
        limitFileSize(process, at);
    else
        failWritesAt(process, at);
}

const char *nameOf(DiskFault fault) {
    return fault == DiskFault::FileSizeLimit ? "file size limit" : "bad spot";
}

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
Q_DECLARE_METATYPE(DiskFault)

class TestSaveFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void diskFaultOnSavedFile_data();
    void diskFaultOnSavedFile();
    void diskFaultOnStandardOutput_data();
    void diskFaultOnStandardOutput();
    void fullDeviceAsStandardOutput_data();
    void fullDeviceAsStandardOutput();
    void unopenableTarget_data();
    void unopenableTarget();
    void specialTargets_data();
    void specialTargets();
    void standardOutputOnAFullVolume();
    void volumeFillsWhileWriting_data();
    void volumeFillsWhileWriting();
    void linksMeasureTheVolumeTheyLeadTo_data();
    void linksMeasureTheVolumeTheyLeadTo();
    void stalledFifoReaderDoesNotHoldCancel();
    void targetReplacedMeanwhile_data();
    void targetReplacedMeanwhile();
    void replacingKeepsOwnerGroupAndPermissions_data();
    void replacingKeepsOwnerGroupAndPermissions();
    void accessThatCannotBeKeptFailsTheSave_data();
    void accessThatCannotBeKeptFailsTheSave();
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

void TestSaveFaults::diskFaultOnSavedFile_data() {
    QTest::addColumn<ModelOptions>("options");
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<DiskFault>("fault");

    const DiskFault limit = DiskFault::FileSizeLimit;
    // Small files stay in one block of the writer; the large one takes two.
    QTest::newRow("small_over_previous")
        << withPeriods(3, true) << QByteArray("earlier model\n") << limit;
    QTest::newRow("small_no_previous") << withPeriods(3, true) << QByteArray() << limit;
    QTest::newRow("medium_over_longer_previous")
        << withPeriods(7, false) << QByteArray(20000, 'x').append('\n') << limit;
    QTest::newRow("large_over_previous")
        << withPeriods(11, true) << QByteArray("earlier model\n") << limit;
    QTest::newRow("large_no_previous") << withPeriods(11, true) << QByteArray() << limit;
    // Written in place by two workers, chunk after chunk; past a bad spot the other worker's
    // chunks still land.
    QTest::newRow("two_workers_over_previous")
        << withPeriods(15, true) << QByteArray("earlier model\n") << limit;
    QTest::newRow("two_workers_bad_spot_over_previous")
        << withPeriods(15, true) << QByteArray("earlier model\n") << DiskFault::BadSpot;
    QTest::newRow("large_bad_spot_no_previous")
        << withPeriods(11, true) << QByteArray() << DiskFault::BadSpot;
}

// Whatever byte the disk fails at, the companion exits 1 naming the file, the earlier file
// stays byte for byte and nothing else appears beside it; from the file's size on, it succeeds.
void TestSaveFaults::diskFaultOnSavedFile() {
    QFETCH(ModelOptions, options);
    QFETCH(QByteArray, previous);
    QFETCH(DiskFault, fault);

    const QByteArray expected = expectedFileBytes(options);
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("model.txt"));
    const QStringList arguments = argumentsFor(options) << "-o" << target;

    for (const qint64 at : limitsFor(expected.size())) {
        QFile::remove(target);
        if (!previous.isEmpty())
            QVERIFY(writeFile(target, previous));
        const CompanionRun run = runCompanion(
            arguments, [fault, at](QProcess &process) { injectFault(process, fault, at); });
        const QByteArray why = describe(run, at);
        QVERIFY2(run.exitStatus == QProcess::NormalExit, why);
        QVERIFY2(run.out.isEmpty(), why);
        if (at < expected.size()) {
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
            ++injected[nameOf(fault) + QByteArray(", saved file")];
        } else {
            QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), why);
            QVERIFY2(readFile(target) == expected, why);
            QVERIFY2(entriesOf(dir.path()) == QStringList{"model.txt"}, why);
        }
    }
}

void TestSaveFaults::diskFaultOnStandardOutput_data() {
    QTest::addColumn<ModelOptions>("options");
    QTest::addColumn<DiskFault>("fault");
    QTest::addColumn<QByteArray>("before"); // what the file holds when the companion starts
    QTest::addColumn<bool>("appending");    // `>> FILE` rather than `{ printf ...; cli; } > FILE`

    const DiskFault limit = DiskFault::FileSizeLimit;
    const DiskFault badSpot = DiskFault::BadSpot;
    const QByteArray head = "head\n";
    QTest::newRow("small") << withPeriods(3, true) << limit << QByteArray() << false;
    QTest::newRow("large") << withPeriods(11, true) << limit << QByteArray() << false;
    QTest::newRow("two_workers") << withPeriods(15, true) << limit << QByteArray() << false;
    QTest::newRow("two_workers_bad_spot")
        << withPeriods(15, true) << badSpot << QByteArray() << false;
    QTest::newRow("two_workers_after_text_in_the_file")
        << withPeriods(15, true) << limit << head << false;
    QTest::newRow("two_workers_bad_spot_after_text_in_the_file")
        << withPeriods(15, true) << badSpot << head << false;
    QTest::newRow("two_workers_appending") << withPeriods(15, true) << limit << head << true;
    QTest::newRow("two_workers_appending_bad_spot")
        << withPeriods(15, true) << badSpot << head << true;
}

// Standard output cannot be replaced atomically, but a cut-off output must never pass for a
// whole one: exit 1 with a message, and what did arrive is the file's beginning, with no gap
// of zeros where a chunk failed before one after it was written. The output starts where
// the descriptor stood, also when something was written before it, and is appended to a
// file opened for appending.
void TestSaveFaults::diskFaultOnStandardOutput() {
    QFETCH(ModelOptions, options);
    QFETCH(DiskFault, fault);
    QFETCH(QByteArray, before);
    QFETCH(bool, appending);

    const QByteArray expected = expectedFileBytes(options);
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString output = dir.filePath(QStringLiteral("out.txt"));
    // A shell writes `before` and then runs the companion on the same descriptor.
    const QString shell = QStringLiteral("/bin/sh");
    const QStringList arguments =
        QStringList{"-c", "printf '%s' \"$1\"; shift; exec \"$@\"", "sh",
                    appending ? QString() : QString::fromLatin1(before), TARSKCJS_CLI_PATH}
        + argumentsFor(options);
    for (const qint64 limit : limitsFor(expected.size())) {
        QVERIFY(writeFile(output, appending ? before : QByteArray()));
        const qint64 at = before.size() + limit;
        const CompanionRun run = runCompanionProgram(shell, arguments, [&](QProcess &process) {
            injectFault(process, fault, at);
            process.setStandardOutputFile(output,
                                          appending ? QIODevice::Append : QIODevice::Truncate);
        });
        const QByteArray why = describe(run, at);
        const QByteArray written = readFile(output);
        QVERIFY2(run.exitStatus == QProcess::NormalExit, why);
        QVERIFY2(written.startsWith(before), why);
        const QByteArray model = written.mid(before.size());
        if (limit < expected.size()) {
            QVERIFY2(run.exitCode == 1, why);
            QVERIFY2(run.err.contains("standard output"), why);
            QVERIFY2(model.size() <= limit && expected.startsWith(model), why);
            ++injected[nameOf(fault) + QByteArray(", standard output")];
        } else {
            QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), why);
            QVERIFY2(model == expected, why);
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
    QVERIFY2(run.err.contains("standard output") && run.err.contains(std::strerror(ENOSPC)), why);
    ++injected["/dev/full as standard output"];
}

void TestSaveFaults::unopenableTarget_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("said"); // "$DIR" stands for the temporary directory
    QTest::newRow("missing_directory") << "missing/model.txt"
                                       << "";
    QTest::newRow("missing_directories") << "missing/deeper/model.txt"
                                         << "";
    QTest::newRow("through_a_regular_file") << "plain/model.txt"
                                            << "";
    QTest::newRow("through_a_regular_file_deeper") << "plain/sub/model.txt"
                                                   << "";
    QTest::newRow("target_is_a_directory") << "folder"
                                           << "it is a directory";
    QTest::newRow("dangling_link_into_missing_directory")
        << "dangling"
        << "cannot create \"$DIR/dangling\": it is a link that leads to "
           "\"$DIR/missing/model.txt\", "
           "but the directory \"$DIR/missing\" does not exist; nothing was written";
    QTest::newRow("relative_link_into_missing_directories")
        << "relative"
        << "it is a link that leads to \"$DIR/missing/deeper/model.txt\", but the directory "
           "\"$DIR/missing\" does not exist";
    QTest::newRow("link_through_a_regular_file")
        << "into_plain"
        << "it is a link that leads to \"$DIR/plain/model.txt\", but \"$DIR/plain\" is not a "
           "directory";
    QTest::newRow("chain_of_links_into_missing_directory")
        << "chain"
        << "it is a link that leads to \"$DIR/missing/model.txt\"";
    // Replacing the last link of a loop by a file would break the loop's other links.
    QTest::newRow("loop_of_two_links") << "loop_a" << QString::fromLocal8Bit(std::strerror(ELOOP));
    QTest::newRow("link_to_itself") << "self" << QString::fromLocal8Bit(std::strerror(ELOOP));
    QTest::newRow("link_into_a_loop")
        << "into_loop" << QString::fromLocal8Bit(std::strerror(ELOOP));
}

// A target that cannot be created: exit 1 with one line naming it and why, and nothing in the
// tree changes, not even a directory, a link or a temporary file.
void TestSaveFaults::unopenableTarget() {
    QFETCH(QString, target);
    QFETCH(QString, said);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath("plain"), "not a directory\n"));
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QVERIFY(writeFile(dir.filePath("folder/inside.txt"), "kept\n"));
    QVERIFY(QFile::link(dir.filePath("missing/model.txt"), dir.filePath("dangling")));
    QVERIFY(QFile::link("missing/deeper/model.txt", dir.filePath("relative")));
    QVERIFY(QFile::link(dir.filePath("plain/model.txt"), dir.filePath("into_plain")));
    QVERIFY(QFile::link("dangling", dir.filePath("chain")));
    QVERIFY(QFile::link("loop_b", dir.filePath("loop_a")));
    QVERIFY(QFile::link("loop_a", dir.filePath("loop_b")));
    QVERIFY(QFile::link("self", dir.filePath("self")));
    QVERIFY(QFile::link("loop_b", dir.filePath("into_loop")));
    const auto snapshot = [&dir] {
        QStringList tree;
        QDirIterator it(dir.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            tree.append(path + u' ' + fileKind(path) + u' ' + it.fileInfo().symLinkTarget() + u' '
                        + QString::fromUtf8(readFile(path).toHex()));
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
    QVERIFY2(QString::fromLocal8Bit(run.err).contains(QString(said).replace("$DIR", dir.path())),
             why);
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
                              << "" << 1 << false << QByteArray(std::strerror(ENOSPC));
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

void TestSaveFaults::volumeFillsWhileWriting_data() {
    QTest::addColumn<bool>("descriptor");
    QTest::newRow("saved_file") << false;
    QTest::newRow("descriptor_at_an_offset") << true;
}

// A volume that fills up while the workers write in place (the companion measures the free
// space first, so the save is called here directly): the save fails with the volume's reason;
// a saved file leaves nothing behind, and a file written through a descriptor holds what came
// before and then the text's beginning, with no gap where a chunk was missing. How much of the
// beginning depends on which worker found the volume full first: when the first chunk was
// the one refused, the chunks written ahead of it are dropped and none of the text is left.
void TestSaveFaults::volumeFillsWhileWriting() {
    QFETCH(bool, descriptor);
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SmallVolume small(dir.filePath("small"), "1m");
    if (!small.isMounted())
        QSKIP("cannot mount a small tmpfs here (needs root)");
    const ModelOptions options = withPeriods(16, true); // 21 MB
    const QString path = small.filePath("model.txt");
    const QByteArray before = "head\n";
    OutputTarget target = resolveOutputTarget(path);
    int handle = -1;
    if (descriptor) {
        handle = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(handle >= 0);
        QCOMPARE(::write(handle, before.constData(), size_t(before.size())), before.size());
        target = OutputTarget::standardOutput();
        target.descriptor = handle;
    }

    const SaveResult result = saveModelDefinition(target, options);

    const off_t end = descriptor ? ::lseek(handle, 0, SEEK_CUR) : 0;
    if (handle >= 0)
        ::close(handle);
    QCOMPARE(result.status, SaveResult::Status::WriteFailed);
    QVERIFY2(result.errorString == QString::fromLocal8Bit(std::strerror(ENOSPC)),
             qPrintable(result.errorString));
    if (descriptor) {
        const QByteArray written = readFile(path);
        QVERIFY(written.startsWith(before));
        QVERIFY(expectedFileBytes(options).startsWith(written.mid(before.size())));
        QCOMPARE(qint64(end), qint64(written.size())); // the shell carries on where it ends
    } else {
        QCOMPARE(entriesOf(small.filePath(QString())), QStringList());
    }
    ++injected["full volume while writing"];
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

// A reader that opens the FIFO and stops reading (a pager, a suspended job) fills it; a Cancel
// must still end the save rather than leave it blocked in a write.
void TestSaveFaults::stalledFifoReaderDoesNotHoldCancel() {
    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fifo = dir.filePath("fifo");
    QVERIFY(makeFifo(fifo));
    const OutputTarget target = resolveOutputTarget(fifo);
    std::atomic<bool> stop{false};
    SaveMonitor monitor;
    monitor.stopRequested = [&stop] { return stop.load(); };
    auto save = std::async(std::launch::async,
                           [&] { return saveModelDefinition(target, withPeriods(20), monitor); });
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY);
    QVERIFY(reader >= 0);
    int pending = 0;
    QVERIFY(QTest::qWaitFor(
        [&] {
            ::ioctl(reader, FIONREAD, &pending);
            return pending >= 65536;
        },
        120000));

    stop.store(true);
    const bool ended = save.wait_for(std::chrono::minutes(2)) == std::future_status::ready;
    ::signal(SIGPIPE, SIG_IGN); // closing the reader ends a blocked write with EPIPE
    ::close(reader);
    QVERIFY2(ended, "the save stayed blocked in its write");
    QCOMPARE(save.get().status, SaveResult::Status::Cancelled);
}

void TestSaveFaults::targetReplacedMeanwhile_data() {
    QTest::addColumn<QString>("before");      // "fifo", "file" or "" (nothing) at the target
    QTest::addColumn<QString>("replacement"); // what takes its place while the save is under way
    QTest::addColumn<QString>("said");

    // A FIFO without a reader keeps the save waiting; meanwhile the name is given to a file.
    QTest::newRow("fifo_then_regular_file")
        << "fifo"
        << "file"
        << "it was replaced after it was chosen: it was a FIFO, now it is a regular file";
    QTest::newRow("fifo_then_link_to_regular_file")
        << "fifo"
        << "link"
        << "it was replaced after it was chosen: it was a FIFO, now it is a regular file";
    QTest::newRow("fifo_then_null_device")
        << "fifo"
        << "null"
        << "it was replaced after it was chosen: it was a FIFO, now it is a character device";
    // A file is replaced only at the end, once everything is written.
    QTest::newRow("file_then_another_file")
        << "file"
        << "file"
        << "it was replaced after it was chosen: it was a regular file, now it is another one";
    QTest::newRow("file_then_fifo")
        << "file"
        << "fifo"
        << "it was replaced after it was chosen: it was a regular file, now it is a FIFO";
    QTest::newRow("file_then_removed") << "file"
                                       << "nothing"
                                       << "it was removed after it was chosen";
    QTest::newRow("nothing_then_file") << ""
                                       << "file"
                                       << "a regular file was put there after it was chosen";
}

// What the save opens or replaces must be what was chosen: a name that changes hands meanwhile
// is refused with a message that says so, and what took its place is left as it is. The
// monitor swaps the target at the moment the save asks it (waiting for a reader, or finishing).
void TestSaveFaults::targetReplacedMeanwhile() {
    QFETCH(QString, before);
    QFETCH(QString, replacement);
    QFETCH(QString, said);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("q");
    const QString stand = dir.filePath("stand-in");
    const QByteArray notes = QByteArray("notes line one\n").repeated(40);
    QVERIFY(writeFile(dir.filePath("notes.txt"), notes));
    if (before == "fifo")
        QVERIFY(makeFifo(path));
    else if (before == "file")
        QVERIFY(writeFile(path, "earlier\n"));
    bool made = true;
    if (replacement == "file")
        made = QFile::copy(dir.filePath("notes.txt"), stand);
    else if (replacement == "link")
        made = QFile::link(dir.filePath("notes.txt"), stand);
    else if (replacement == "null")
        made = makeNullDevice(stand);
    else if (replacement == "fifo")
        made = makeFifo(stand);
    if (!made)
        QSKIP(qPrintable("cannot make the " + replacement + " here (mknod needs root)"));
    const OutputTarget target = resolveOutputTarget(path);
    QCOMPARE(target.kind, before == "fifo" ? OutputTarget::Kind::Device : OutputTarget::Kind::File);
    const QString kindBefore = fileKind(stand);

    bool swapped = false;
    const auto swap = [&] {
        if (swapped)
            return;
        swapped = true;
        if (replacement == "nothing")
            QFile::remove(path);
        else
            ::rename(QFile::encodeName(stand).constData(), QFile::encodeName(path).constData());
    };
    int asked = 0;
    SaveMonitor monitor;
    monitor.stopRequested = [&] {
        swap();
        return ++asked > 2000; // a save still waiting after that would wait for ever
    };
    monitor.finishing = swap;
    const SaveResult result = saveModelDefinition(target, withPeriods(4, true), monitor);

    QVERIFY(swapped);
    QCOMPARE(result.status,
             before == "fifo" ? SaveResult::Status::OpenFailed : SaveResult::Status::WriteFailed);
    QCOMPARE(result.errorString, said);
    if (replacement == "nothing") {
        QCOMPARE(fileKind(path), QString("missing"));
    } else {
        QCOMPARE(fileKind(path), kindBefore);
        if (replacement == "file" || replacement == "link")
            QCOMPARE(readFile(path), notes);
    }
    QCOMPARE(readFile(dir.filePath("notes.txt")), notes);
    QStringList expected = {"notes.txt"};
    if (replacement != "nothing")
        expected.append("q");
    QCOMPARE(entriesOf(dir.path()), expected);
}

void TestSaveFaults::replacingKeepsOwnerGroupAndPermissions_data() {
    QTest::addColumn<QString>("mode");      // given last, in octal
    QTest::addColumn<bool>("givenAway");    // the earlier file belongs to another user and group
    QTest::addColumn<QString>("acl");       // setfacl -m entries of the earlier file
    QTest::addColumn<QString>("attribute"); // name=value of an extended attribute
    QTest::addColumn<QString>("directoryDefaultAcl"); // new files there would inherit it

    QTest::newRow("owner_group_0640") << "0640" << true << ""
                                      << ""
                                      << "";
    QTest::newRow("read_only_0444") << "0444" << false << ""
                                    << ""
                                    << "";
    QTest::newRow("no_access_0000") << "0000" << false << ""
                                    << ""
                                    << "";
    QTest::newRow("setuid_4754") << "4754" << false << ""
                                 << ""
                                 << "";
    QTest::newRow("setgid_2755") << "2755" << false << ""
                                 << ""
                                 << "";
    QTest::newRow("sticky_1644") << "1644" << false << ""
                                 << ""
                                 << "";
    QTest::newRow("every_special_bit_7770") << "7770" << false << ""
                                            << ""
                                            << "";
    // Changing the owner clears setuid and setgid: they must come back.
    QTest::newRow("setuid_setgid_given_away_6750") << "6750" << true << ""
                                                   << ""
                                                   << "";
    QTest::newRow("acl_for_another_user") << "0660" << false << "u:nobody:rw"
                                          << ""
                                          << "";
    // The group bits of the mode are the ACL's mask: "nobody" may only read.
    QTest::newRow("acl_narrowed_by_its_mask") << "0640" << false << "u:nobody:rw"
                                              << ""
                                              << "";
    QTest::newRow("acl_for_a_group_given_away") << "0664" << true << "g:nogroup:rw,u:nobody:r"
                                                << ""
                                                << "";
    QTest::newRow("user_attribute") << "0644" << false << ""
                                    << "user.note=kept"
                                    << "";
    QTest::newRow("acl_attribute_and_setuid") << "4754" << false << "u:nobody:rw"
                                              << "user.note=kept"
                                              << "";
    // A new file in that directory would get an ACL the earlier file does not have.
    QTest::newRow("directory_default_acl_not_taken") << "0640" << false << ""
                                                     << ""
                                                     << "u:nobody:rwx";
    QTest::newRow("own_acl_over_directory_default") << "0600" << false << "u:nobody:r"
                                                    << ""
                                                    << "g:nogroup:rwx";
}

// The new file gives exactly the access the earlier one gave, as the system's own tools show
// it: mode, owner and group, extended attributes and ACL.
void TestSaveFaults::replacingKeepsOwnerGroupAndPermissions() {
    QFETCH(QString, mode);
    QFETCH(bool, givenAway);
    QFETCH(QString, acl);
    QFETCH(QString, attribute);
    QFETCH(QString, directoryDefaultAcl);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("model.txt");
    QVERIFY(writeFile(target, "earlier\n"));
    const QByteArray name = QFile::encodeName(target);
    if (givenAway) {
        if (!mayGiveAway(target))
            QSKIP("this user may not give a file to another owner");
        QCOMPARE(::chown(name.constData(), StrangerUser, StrangerGroup), 0);
    }
    if (!acl.isEmpty() && !runTool("setfacl", {"-m", acl, target}))
        QSKIP("no ACLs here: setfacl (package acl) is missing or the file system has none");
    if (!attribute.isEmpty() && !setAttribute(target, attribute))
        QSKIP("no user attributes here: setfattr (package attr) is missing or the file system "
              "has none");
    if (!directoryDefaultAcl.isEmpty()
        && !runTool("setfacl", {"-d", "-m", directoryDefaultAcl, dir.path()}))
        QSKIP("no default ACLs here: setfacl (package acl) is missing or the file system has none");
    QCOMPARE(::chmod(name.constData(), mode.toUInt(nullptr, 8)), 0);
    if (::access(name.constData(), W_OK) != 0)
        QSKIP("this user may not write the file (it is read-only), so it is not replaced");
    const QString access = accessOf(target);
    QVERIFY2(access.startsWith("mode " + mode), qPrintable(access));

    const CompanionRun run = runCompanion({"-n", "4", "-o", target});

    QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), describe(run, -1));
    QCOMPARE(accessOf(target), access);
    QCOMPARE(readFile(target), expectedFileBytes(withPeriods(4)));
    QCOMPARE(entriesOf(dir.path()), QStringList{"model.txt"});
}

void TestSaveFaults::accessThatCannotBeKeptFailsTheSave_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("attribute"); // name=value, set by the owner
    QTest::addColumn<QByteArray>("said");

    // The setuid bit of another user's file would work for this user on the new file.
    QTest::newRow("setuid_of_another_owner")
        << "4777"
        << "" << QByteArray("the earlier file runs as its owner (set-user-ID)");
    QTest::newRow("setgid_of_a_foreign_group")
        << "2777"
        << "" << QByteArray("the earlier file runs with its group (set-group-ID)");
    // Only a privileged process may give a file capabilities.
    QTest::newRow("file_capabilities")
        << "0777"
        << "security.capability=0x0100000200000000000000000000000000000000"
        << QByteArray("cannot give the new file its extended attribute \"security.capability\"");
}

// A user who may replace a file but not give the new one its access: the save fails with the
// reason, and the earlier file stays as it was, access and all.
void TestSaveFaults::accessThatCannotBeKeptFailsTheSave() {
    QFETCH(QString, mode);
    QFETCH(QString, attribute);
    QFETCH(QByteArray, said);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("model.txt");
    QVERIFY(writeFile(target, "earlier\n"));
    if (!mayGiveAway(target))
        QSKIP("needs a user who may give files away, to own a file that nobody cannot");
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    if (!attribute.isEmpty() && !setAttribute(target, attribute))
        QSKIP("cannot set that attribute here (package attr, a file system with it)");
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), mode.toUInt(nullptr, 8)), 0);
    const QString access = accessOf(target);

    const CompanionRun run = runCompanion({"-n", "4", "-o", target}, runAsNobody);

    if (run.exitCode == CouldNotRunAsNobody)
        QSKIP("cannot run the companion as nobody here");
    const QByteArray why = describe(run, -1);
    QVERIFY2(run.exitCode == 1, why);
    QVERIFY2(run.err.contains(said) && run.err.contains(target.toLocal8Bit()), why);
    QVERIFY2(run.err.contains("an earlier file of that name is unchanged"), why);
    QCOMPARE(readFile(target), QByteArray("earlier\n"));
    QCOMPARE(accessOf(target), access);
    QCOMPARE(entriesOf(dir.path()), QStringList{"model.txt"});
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

    // A user whom the mode does not stop (root, and root of a user namespace, who may not give
    // files away) runs the companion as nobody, where it may become nobody.
    const bool ignoresModes = mayCreateFileIn(folder);
    if (ignoresModes && !childMayBecome(NobodyUser, NobodyGroup)) {
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QSKIP("this user writes into read-only directories and may not become another user");
    }
    const CompanionRun run =
        runCompanion({"-n", "4", "-o", target}, [ignoresModes](QProcess &process) {
            if (ignoresModes)
                runAsNobody(process);
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
