// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionwriter.h"
#include "modeloptions.h"
#include "sanitizers.h"
#include "writertestsupport.h"

#include <QIODevice>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <map>
#include <sys/resource.h>

namespace {

// A device that breaks at a chosen point: at its k-th write (and every later one, as a full
// disk does), at its k-th write only, or once it holds k bytes, taking the part of the write
// that still fits first, as a file at its size limit does.
class FaultyDevice : public QIODevice {
public:
    enum class Fault { None, FailsFromWrite, FailsOneWrite, FullAfterBytes };

    FaultyDevice(Fault fault, qint64 point)
        : fault(fault)
        , point(point) {
        open(QIODevice::WriteOnly);
    }

    bool isSequential() const override { return true; }

    QByteArray accepted;
    qint64 writes = 0;
    QList<qint64> writeEnds; // where each write that was taken ended

protected:
    qint64 readData(char *, qint64) override { return -1; }

    qint64 writeData(const char *data, qint64 length) override {
        ++writes;
        if ((fault == Fault::FailsFromWrite && writes >= point)
            || (fault == Fault::FailsOneWrite && writes == point))
            return -1;
        if (fault == Fault::FullAfterBytes) {
            const qint64 room = point - accepted.size();
            if (room <= 0)
                return -1;
            length = std::min(length, room);
        }
        accepted.append(data, length);
        writeEnds.append(accepted.size());
        return length;
    }

private:
    Fault fault;
    qint64 point;
};

// How the text reaches the device: the writer's own blocks of bytes, or through the stream
// (a byte-order mark still to come, an encoding with state); or a real file, which the
// workers write in place, each chunk at its own offset.
enum class Path { Direct, ThroughStreamWithBom, ThroughStreamUtf16, RegularFile };

struct Run {
    ModelDefinitionWriter::Outcome outcome;
    QTextStream::Status statusAfterWrite;
    QTextStream::Status statusAfterFlush;
    QByteArray accepted;
    qint64 writes;
    QList<qint64> writeEnds;
};

// The largest file this process may write, lowered for as long as the object lives, the way
// a full disk stops a file; only the soft limit, which any user may raise again. SIGXFSZ is
// ignored meanwhile, so that a write past the limit fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes) {
        getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lowered{rlim_t(bytes), previous.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

// A real file that takes `limit` bytes at most (none when negative).
Run runOnRegularFile(const ModelOptions &options, qint64 limit) {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("model.txt"));
    FileWriting written;
    if (limit >= 0) {
        const FileSizeLimit fileSizeLimit(limit);
        written = writtenIntoFile(path, options, FileOpening::FileDevice);
    } else {
        written = writtenIntoFile(path, options, FileOpening::FileDevice);
    }
    return {written.outcome, written.status, written.status, written.bytes, 0, {}};
}

Run runWriter(const ModelOptions &options, Path path, FaultyDevice::Fault fault, qint64 point) {
    if (path == Path::RegularFile)
        return runOnRegularFile(options, fault == FaultyDevice::Fault::None ? -1 : point);
    FaultyDevice device(fault, point);
    QTextStream out(&device);
    out.setEncoding(path == Path::ThroughStreamUtf16 ? QStringConverter::Utf16LE
                                                     : QStringConverter::Utf8);
    out.setGenerateByteOrderMark(path == Path::ThroughStreamWithBom);
    const auto outcome = ModelDefinitionWriter::write(out, options, {});
    const QTextStream::Status afterWrite = out.status();
    out.flush(); // what every caller does before closing
    return {outcome, afterWrite, out.status(), device.accepted, device.writes, device.writeEnds};
}

ModelOptions smallFile() {
    ModelOptions options;
    options.numPeriods = 6;
    options.censoring = true;
    return options;
}

// Large enough to be made on the writer's second thread; smaller under ThreadSanitizer.
ModelOptions largeFile() {
    ModelOptions options;
    options.numPeriods = UnderThreadSanitizer ? 14 : 16;
    options.survivalParameter = QStringLiteral("phi");
    options.initialRelease = true;
    return options;
}

// Points injected per kind of fault, for the closing summary.
std::map<QByteArray, int> injected;

const char *nameOf(ModelDefinitionWriter::Outcome outcome) {
    switch (outcome) {
    case ModelDefinitionWriter::Outcome::Completed:
        return "completed";
    case ModelDefinitionWriter::Outcome::Cancelled:
        return "cancelled";
    case ModelDefinitionWriter::Outcome::Failed:
        return "failed";
    }
    return "?";
}

const char *nameOf(QTextStream::Status status) {
    return status == QTextStream::Ok            ? "ok"
           : status == QTextStream::WriteFailed ? "write failed"
                                                : "other";
}

QString describe(const Run &run, qint64 point) {
    return QStringLiteral("at %1: %2, stream %3 after the write and %4 after flush, "
                          "%5 bytes taken in %6 writes")
        .arg(point)
        .arg(QLatin1String(nameOf(run.outcome)), QLatin1String(nameOf(run.statusAfterWrite)),
             QLatin1String(nameOf(run.statusAfterFlush)))
        .arg(run.accepted.size())
        .arg(run.writes);
}

// The caller must learn of the fault, and what reached the device must be the file's beginning
// without gaps: a write that failed is never followed by one that succeeded.
void checkFaultSeen(const Run &run, Path path, const QByteArray &reference, qint64 point) {
    const QByteArray why = describe(run, point).toUtf8();
    QVERIFY2(run.outcome != ModelDefinitionWriter::Outcome::Cancelled, why);
    if (path == Path::Direct || path == Path::RegularFile) {
        // The writer hands its last block to the device itself, so it knows of every fault.
        QVERIFY2(run.outcome == ModelDefinitionWriter::Outcome::Failed, why);
        QVERIFY2(run.statusAfterWrite == QTextStream::WriteFailed, why);
    } else {
        // Through the stream the last bytes leave at the caller's flush.
        QVERIFY2(run.outcome == ModelDefinitionWriter::Outcome::Failed
                     || run.statusAfterFlush == QTextStream::WriteFailed,
                 why);
        if (run.outcome == ModelDefinitionWriter::Outcome::Failed)
            QVERIFY2(run.statusAfterWrite == QTextStream::WriteFailed, why);
    }
    QVERIFY2(run.statusAfterFlush == QTextStream::WriteFailed, why);
    QVERIFY2(run.accepted.size() < reference.size(), why);
    QVERIFY2(reference.startsWith(run.accepted), why);
}

void checkComplete(const Run &run, const QByteArray &reference, qint64 point) {
    const QByteArray why = describe(run, point).toUtf8();
    QVERIFY2(run.outcome == ModelDefinitionWriter::Outcome::Completed, why);
    QVERIFY2(run.statusAfterFlush == QTextStream::Ok, why);
    QVERIFY2(run.accepted == reference, why);
}

// The small file is swept at every point; the large one (tens of writes, megabytes) at its
// first, middle and last writes and at random points between them.
// Under ThreadSanitizer only the large file (made on a second thread) is swept closely; the
// small one, made on the calling thread, is tried at the same few points as a large one.
constexpr qint64 SmallFileBytes = UnderThreadSanitizer ? 0 : 100000;

QList<qint64> writeNumbers(const Run &clean) {
    const qint64 last = clean.writes;
    if (clean.accepted.size() < SmallFileBytes) {
        QList<qint64> all;
        for (qint64 k = 1; k <= last + 1; ++k)
            all.append(k);
        return all;
    }
    QList<qint64> some = {1, 2, last / 2, last - 1, last, last + 1};
    some.removeIf([](qint64 k) { return k < 1; });
    std::sort(some.begin(), some.end());
    some.erase(std::unique(some.begin(), some.end()), some.end());
    return some;
}

QList<qint64> byteLimits(const Run &clean) {
    const qint64 size = clean.accepted.size();
    QList<qint64> limits;
    if (size < SmallFileBytes) {
        for (qint64 k = 0; k <= size + 1; ++k)
            limits.append(k);
        return limits;
    }
    limits = {0, 1, size - 1, size, size + 1};
    limits.removeIf([size](qint64 limit) { return limit > size + 1; });
    // The edges of the device's writes; a file written in place has none to see, and the
    // random points fall in chunks of both workers.
    const QList<qint64> &ends = clean.writeEnds;
    for (const qsizetype i : {qsizetype(0), qsizetype(1), ends.size() / 2, ends.size() - 2}) {
        if (ends.isEmpty())
            break;
        const qint64 edge = ends.at(qBound(qsizetype(0), i, ends.size() - 1));
        limits.append({edge - 1, edge, edge + 1});
    }
    QRandomGenerator random(static_cast<quint32>(size));
    for (int i = 0; i < 12; ++i)
        limits.append(qint64(random.bounded(quint64(size))));
    std::sort(limits.begin(), limits.end());
    limits.erase(std::unique(limits.begin(), limits.end()), limits.end());
    return limits;
}

} // namespace

Q_DECLARE_METATYPE(Path)
Q_DECLARE_METATYPE(ModelOptions)

class TestWriterFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanupTestCase();

    void failingWrite_data();
    void failingWrite();
    void fullAfterBytes_data();
    void fullAfterBytes();
};

namespace {

// Both ways for both files; the UTF-16 stream takes the stream's way as a BOM does, so only
// the small file goes through it too.
void addPathRows() {
    QTest::newRow("small_direct") << smallFile() << Path::Direct;
    QTest::newRow("small_through_stream_bom") << smallFile() << Path::ThroughStreamWithBom;
    QTest::newRow("small_through_stream_utf16") << smallFile() << Path::ThroughStreamUtf16;
    QTest::newRow("large_direct") << largeFile() << Path::Direct;
    QTest::newRow("large_through_stream_bom") << largeFile() << Path::ThroughStreamWithBom;
}

} // namespace

void TestWriterFaults::failingWrite_data() {
    QTest::addColumn<ModelOptions>("options");
    QTest::addColumn<Path>("path");
    addPathRows();
}

// Writes fail in turn, each once for good and once alone: every write of the small file, the
// first, middle and last ones of the large file; one past the last write nothing fails.
void TestWriterFaults::failingWrite() {
    QFETCH(ModelOptions, options);
    QFETCH(Path, path);

    const Run clean = runWriter(options, path, FaultyDevice::Fault::None, 0);
    QCOMPARE(clean.outcome, ModelDefinitionWriter::Outcome::Completed);
    const QByteArray &reference = clean.accepted;
    for (const auto fault :
         {FaultyDevice::Fault::FailsFromWrite, FaultyDevice::Fault::FailsOneWrite}) {
        for (const qint64 k : writeNumbers(clean)) {
            const Run run = runWriter(options, path, fault, k);
            if (k <= clean.writes) {
                checkFaultSeen(run, path, reference, k);
                ++injected[fault == FaultyDevice::Fault::FailsFromWrite
                               ? "k-th write and every later one fail"
                               : "k-th write fails alone"];
            } else {
                checkComplete(run, reference, k);
            }
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void TestWriterFaults::fullAfterBytes_data() {
    QTest::addColumn<ModelOptions>("options");
    QTest::addColumn<Path>("path");
    addPathRows();
    QTest::newRow("large_regular_file_in_place") << largeFile() << Path::RegularFile;
}

// The device fills up after k bytes: every k of the small file; the edges of some writes and
// scattered points of the large one. A real file stops at its size limit: what it holds is
// then the text's beginning, with no gap where a chunk was missing.
void TestWriterFaults::fullAfterBytes() {
    QFETCH(ModelOptions, options);
    QFETCH(Path, path);

    const Run clean = runWriter(options, path, FaultyDevice::Fault::None, 0);
    QCOMPARE(clean.outcome, ModelDefinitionWriter::Outcome::Completed);
    const QByteArray &reference = clean.accepted;
    const qint64 size = reference.size();

    const QList<qint64> limits = byteLimits(clean);
    for (const qint64 k : std::as_const(limits)) {
        const Run run = runWriter(options, path, FaultyDevice::Fault::FullAfterBytes, k);
        if (k < size) {
            checkFaultSeen(run, path, reference, k);
            ++injected["full after k bytes"];
        } else {
            checkComplete(run, reference, k);
        }
        if (QTest::currentTestFailed())
            return;
    }
}

void TestWriterFaults::cleanupTestCase() {
    for (const auto &[kind, count] : injected)
        qInfo("%s: %d points injected, each one reported", kind.constData(), count);
}

QTEST_GUILESS_MAIN(TestWriterFaults)
#include "tst_writerfaults.moc"
