// SPDX-License-Identifier: GPL-3.0-or-later
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// What the process has open inside `directory`, as the kernel names it: a file made with
// O_TMPFILE shows as "<directory>/#<inode> (deleted)", a named temporary file by its name.
QStringList openFilesIn(qint64 pid, const QString &directory) {
    QStringList files;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd :
         QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[PATH_MAX];
        const QByteArray link = QFile::encodeName(fds + u'/' + fd);
        const ssize_t length = readlink(link.constData(), target, sizeof target);
        const QString name = QFile::decodeName(QByteArray(target, length > 0 ? length : 0));
        if (name.startsWith(directory + u'/'))
            files.append(name);
    }
    return files;
}

// The name QSaveFile gives its temporary file when it has to name one: the target's name,
// a dot and six letters or digits ("model.txt.sxeVTU").
bool isSaveFileLeftover(const QString &entry, const QString &target) {
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    return entry.startsWith(target) && suffix.match(entry.mid(target.size())).hasMatch();
}

// Waits until the companion has drawn its progress bar twice: it draws it first after 16,384
// lines and then at most ten times a second, so by then it has been writing for a while.
bool waitUntilWriting(QProcess &process, QByteArray &standardError) {
    while (standardError.count('\r') < 2) {
        if (!process.waitForReadyRead(-1))
            return false;
        standardError += process.readAllStandardError();
    }
    return true;
}

} // namespace

class TestInterruptedSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void killedMidWrite_data();
    void killedMidWrite();
    void blockedWriteEndsOnSignal_data();
    void blockedWriteEndsOnSignal();
};

void TestInterruptedSave::killedMidWrite_data() {
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<int>("signal");
    const QByteArray earlier = QByteArray("earlier model\n").repeated(1000);
    QTest::newRow("killed_over_an_earlier_file") << earlier << int(SIGKILL);
    QTest::newRow("killed_no_earlier_file") << QByteArray() << int(SIGKILL);
    QTest::newRow("terminated_over_an_earlier_file") << earlier << int(SIGTERM);
    QTest::newRow("interrupted_no_earlier_file") << QByteArray() << int(SIGINT);
}

// The companion stopped in the middle of a 4.4 GB file, killed outright (no handler can run) or
// asked to end: the target is still the earlier file byte for byte, or still absent, and no
// partial file has its name. Asked to end, it also says so, leaves nothing at all behind, and
// its progress bar stops at the count it reached.
void TestInterruptedSave::killedMidWrite() {
    QFETCH(QByteArray, previous);
    QFETCH(int, signal);

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fileName = QStringLiteral("model.txt");
    const QString target = dir.filePath(fileName);
    if (!previous.isEmpty())
        QVERIFY(writeFile(target, previous));

    QProcess companion;
    companion.setReadChannel(QProcess::StandardError);
    companion.start(QStringLiteral(TARSKCJS_CLI_PATH), {"-n", "24", "--progress", "-o", target});
    QByteArray standardError;
    if (!waitUntilWriting(companion, standardError)) {
        if (standardError.contains("is free"))
            QSKIP("no room for a 4.4 GB file in the temporary directory");
        QFAIL(qPrintable("the companion stopped before it wrote much: " + standardError));
    }

    // The file still open for writing shows that the kill comes in the middle of the write.
    const QStringList beingWritten = openFilesIn(companion.processId(), dir.path());
    QVERIFY2(!beingWritten.isEmpty(), "the companion has no file open in the directory");
    ::kill(pid_t(companion.processId()), signal);
    QVERIFY(companion.waitForFinished(-1));
    qInfo("the file being written was %s", qPrintable(beingWritten.join(u' ')));
    if (signal == SIGKILL) {
        QCOMPARE(companion.exitStatus(), QProcess::CrashExit);
    } else {
        standardError += companion.readAllStandardError();
        QCOMPARE(companion.exitStatus(), QProcess::NormalExit);
        QCOMPARE(companion.exitCode(), 130);
        QVERIFY2(standardError.contains("interrupted; \"" + target.toUtf8() + "\" was not written"),
                 standardError);
        const QByteArray lastBar = standardError.split('\r').constLast();
        QVERIFY2(lastBar.contains(" of 16,777,216 lines") && !lastBar.contains("100%"), lastBar);
        QCOMPARE(entriesOf(dir.path()), previous.isEmpty() ? QStringList() : QStringList{fileName});
    }

    if (previous.isEmpty())
        QVERIFY(!QFile::exists(target));
    else
        QVERIFY(readFile(target) == previous);

    QStringList leftovers;
    for (const QString &entry :
         QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (entry == fileName)
            continue;
        QVERIFY2(isSaveFileLeftover(entry, fileName), qPrintable("unexpected file " + entry));
        leftovers.append(entry);
    }
    if (!leftovers.isEmpty())
        qInfo("temporary files left beside the target: %s", qPrintable(leftovers.join(u' ')));
}

void TestInterruptedSave::blockedWriteEndsOnSignal_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// Standard output is a pipe nobody reads: the companion blocks in a write, and one signal must
// end it all the same.
void TestInterruptedSave::blockedWriteEndsOnSignal() {
    QFETCH(int, signal);
    int pipeEnds[2];
    QVERIFY(::pipe(pipeEnds) == 0);
    QProcess companion;
    const int writeEnd = pipeEnds[1];
    const int readEnd = pipeEnds[0];
    companion.setChildProcessModifier([writeEnd, readEnd] {
        ::dup2(writeEnd, STDOUT_FILENO);
        ::close(readEnd);
    });
    companion.start(QStringLiteral(TARSKCJS_CLI_PATH), {"-n", "24", "--no-progress"});
    QVERIFY(companion.waitForStarted(-1));
    ::close(writeEnd);

    // Full: the pipe holds all it can, and the companion has stopped in its write.
    int pending = 0;
    const bool full = QTest::qWaitFor(
        [&] {
            ::ioctl(readEnd, FIONREAD, &pending);
            return pending >= 65536;
        },
        120000);
    QVERIFY2(full, qPrintable(QStringLiteral("the pipe holds only %1 bytes").arg(pending)));
    QTest::qWait(200);
    QCOMPARE(companion.state(), QProcess::Running);

    ::kill(pid_t(companion.processId()), signal);
    const bool ended = companion.waitForFinished(30000);
    ::close(readEnd);
    QVERIFY2(ended, "the companion is still blocked in its write");
    QCOMPARE(companion.exitStatus(), QProcess::NormalExit);
    QCOMPARE(companion.exitCode(), 130);
    QVERIFY2(companion.readAllStandardError().contains("interrupted"), "no message");
}

QTEST_GUILESS_MAIN(TestInterruptedSave)
#include "tst_interruptedsave.moc"
