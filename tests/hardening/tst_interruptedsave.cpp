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
};

void TestInterruptedSave::killedMidWrite_data() {
    QTest::addColumn<QByteArray>("previous");
    QTest::newRow("over_an_earlier_file") << QByteArray("earlier model\n").repeated(1000);
    QTest::newRow("no_earlier_file") << QByteArray();
}

// The companion killed outright (no handler can run) in the middle of a 4.4 GB file: the target
// is still the earlier file byte for byte, or still absent, and no partial file has its name.
void TestInterruptedSave::killedMidWrite() {
    QFETCH(QByteArray, previous);

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
    ::kill(pid_t(companion.processId()), SIGKILL);
    QVERIFY(companion.waitForFinished(-1));
    QCOMPARE(companion.exitStatus(), QProcess::CrashExit);
    qInfo("the file being written was %s", qPrintable(beingWritten.join(u' ')));

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

QTEST_GUILESS_MAIN(TestInterruptedSave)
#include "tst_interruptedsave.moc"
