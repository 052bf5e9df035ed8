// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionwriter.h"

#include "blockpipe.h"
#include "historycounter.h"
#include "likelihoodlines.h"
#include "modeldefinitionsize.h"
#include "modeloptions.h"
#include "modeltext.h"
#include "pieceencoder.h"
#include "positionedfile.h"

#include <QIODevice>
#include <QList>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <pthread.h>
#include <sys/stat.h>
#endif

using namespace ModelText;

namespace {

// How the text reaches the stream. Whenever it can, the writer encodes its pieces once, up
// front, in the stream's encoding and hands the stream's device whole blocks of bytes.
// Other streams (no device, a byte-order mark still to come, padding, an encoding with state)
// get the same text as UTF-16 through the stream itself.
struct Route {
    explicit Route(const QTextStream &stream)
        : device(writesBytesDirectly(stream) ? stream.device() : nullptr)
        , encoding(stream.encoding())
        , regularFile(device && isRegularFile(device)) {}

    // A write to a regular file never waits on a reader, so it may come from either of two
    // threads; a pipe or a device is written from the calling thread only, which signals
    // reach.
    static bool isRegularFile(QIODevice *device) {
#ifdef Q_OS_UNIX
        const int handle = descriptorOf(device);
        struct stat info {};
        return handle >= 0 && ::fstat(handle, &info) == 0 && S_ISREG(info.st_mode);
#else
        Q_UNUSED(device);
        return false; // text mode turns "\n" into CR LF in the device: one writer only
#endif
    }

    static bool writesBytesDirectly(const QTextStream &stream) {
        const QIODevice *target = stream.device();
        return target && target->isWritable() && stream.fieldWidth() == 0
               && !stream.generateByteOrderMark() && PieceEncoder::isStateless(stream.encoding());
    }

    // The pieces of text as the blocks carry them on this route.
    PieceBytes pieceBytes() const {
        return PieceBytes(device != nullptr, encoding);
    }

    QIODevice *device;
    QStringConverter::Encoding encoding;
    bool regularFile;
};

// The generating side of the pipe: fills blocks a line at a time and hands them over when
// full. A piece never straddles two blocks.
class BlockFiller {
public:
    explicit BlockFiller(BlockPipe &pipe)
        : pipe(pipe) {}

    // Room for `bytes` more bytes; write them at the pointer returned, then commit. nullptr
    // when the writing side has stopped: the generation ends there.
    char *reserve(qsizetype bytes) {
        if (block && qsizetype(block->bytes.size()) - block->used < bytes)
            handOver(lines, false);
        if (!block && !(block = pipe.takeEmpty()))
            return nullptr;
        if (qsizetype(block->bytes.size()) < bytes)
            block->bytes.resize(size_t(bytes));
        return block->bytes.data() + block->used;
    }
    void commit(const char *end) { block->used = end - block->bytes.data(); }
    void commit(const char *end, quint64 linesWritten) {
        commit(end);
        lines += linesWritten;
    }
    qsizetype room() const { return qsizetype(block->bytes.size()) - block->used; }

    bool write(const QByteArray &bytes) {
        char *at = reserve(bytes.size());
        if (!at)
            return false;
        std::memcpy(at, bytes.constData(), size_t(bytes.size()));
        commit(at + bytes.size());
        return true;
    }

    quint64 linesDone() const { return lines; }

    // Ends the block here, so that the writer reports progress right after writing it.
    void progressPoint() { handOver(lines, true); }
    void finish() {
        if (block)
            handOver(lines, false);
        pipe.finish();
    }

private:
    void handOver(quint64 linesEnded, bool progressPoint) {
        if (!block)
            return;
        block->linesEnded = linesEnded;
        block->progressPoint = progressPoint;
        pipe.handFilled(block);
        block = nullptr;
    }

    BlockPipe &pipe;
    BlockPipe::Block *block = nullptr;
    quint64 lines = 0;
};

QByteArray encodedHead(const ModelOptions &options, const Route &route) {
    PieceBytes encode = route.pieceBytes();
    return encodedHead(options, encode);
}

// The whole file, into the pipe; runs on the generating thread. Each block ends at a
// progress point at the latest.
void generate(const ModelOptions &options, const Route &route, BlockPipe &pipe) {
    PieceBytes encode = route.pieceBytes();
    BlockFiller output(pipe);
    if (!output.write(encodedHead(options, encode)))
        return;
    LikelihoodLines lines(options, encode);
    const qsizetype lineBytes = lines.maxLineBytes();
    for (bool last = false; !last;) {
        char *at = output.reserve(lineBytes);
        if (!at)
            return;
        const quint64 untilProgress =
            ModelDefinitionWriter::ProgressInterval
            - output.linesDone() % ModelDefinitionWriter::ProgressInterval;
        const quint64 fitting = quint64(std::max<qsizetype>(1, output.room() / lineBytes));
        quint64 written = 0;
        const char *end = lines.writeLines(at, std::min(untilProgress, fitting), written, last);
        output.commit(end, written);
        if (!last && output.linesDone() % ModelDefinitionWriter::ProgressInterval == 0)
            output.progressPoint();
    }
    output.finish();
}

// The writing side: hands each block to the device, or as text to the stream.
class BlockWriter {
public:
    BlockWriter(QTextStream &out, const Route &route)
        : out(out)
        , device(route.device) {}

    bool write(const BlockPipe::Block &block) { return write(block.bytes.data(), block.used); }
    bool write(const char *data, qsizetype size) {
        return device ? writeToDevice(data, size) : writeToStream(data, size);
    }

private:
    // A short write is not the end yet: writing the rest makes a device that really is full
    // say why (a file at its size limit first takes what fits, then fails with EFBIG).
    bool writeToDevice(const char *data, qsizetype size) {
        for (qsizetype done = 0; done < size;) {
            const qint64 written = device->write(data + done, size - done);
            if (written <= 0) {
                out.setStatus(QTextStream::WriteFailed);
                return false;
            }
            done += qsizetype(written);
        }
        return true;
    }

    bool writeToStream(const char *data, qsizetype size) {
        out << QStringView(reinterpret_cast<const char16_t *>(data),
                           size / qsizetype(sizeof(char16_t)));
        return out.status() == QTextStream::Ok;
    }

    QTextStream &out;
    QIODevice *device;
};

// The room for a chunk of lines in a worker's buffer; as the longest lines are about twice the
// average, a chunk fills about half of it. Measured at N = 22: with room for 256 KiB (chunks
// that stay in the core's second-level cache) the kernel took 80 % more time, every write
// having its fixed share and handing the file's lock over; with 4 MiB its copy cost several
// times as much.
constexpr qsizetype ChunkBytes = 1024 * 1024;

// One worker's chunks of the file: runs of consecutive lines, each made whole in a buffer of
// the worker's own. Chunk 0 starts with the head, encoded once for both workers.
class ChunkMaker {
public:
    struct Chunk {
        const char *data;
        qsizetype size;
        quint64 linesDone; // lines of the file up to the chunk's end
        bool last;         // holds the final history

        bool endsAtProgressPoint() const {
            return !last && linesDone % ModelDefinitionWriter::ProgressInterval == 0;
        }
    };

    ChunkMaker(const ModelOptions &options, const Route &route, const QByteArray &head,
               qsizetype chunkBytes)
        : encode(route.pieceBytes())
        , lines(options, encode)
        , head(head)
        , perChunk(linesPerChunk(lines.maxLineBytes(), chunkBytes))
        // Left uninitialised: a page costs only once a chunk reaches it.
        , buffer(new char[size_t(head.size() + lines.maxLineBytes() * qsizetype(perChunk))]) {}

    quint64 firstLine(quint64 chunk) const { return chunk * perChunk; }

    Chunk make(quint64 chunk) {
        char *end = buffer.get();
        if (chunk == 0) {
            std::memcpy(end, head.constData(), size_t(head.size()));
            end += head.size();
        }
        quint64 written = 0;
        bool last = false;
        lines.startAt(firstLine(chunk));
        end = lines.writeLines(end, perChunk, written, last);
        return {buffer.get(), end - buffer.get(), firstLine(chunk) + written, last};
    }

private:
    // A power of two, so that chunks end at every progress point; about chunkBytes long.
    static quint64 linesPerChunk(qsizetype lineBytes, qsizetype chunkBytes) {
        quint64 lines = ModelDefinitionWriter::ProgressInterval;
        while (lines > 1 && qsizetype(lines) * lineBytes > chunkBytes)
            lines /= 2;
        return lines;
    }

    PieceBytes encode;
    LikelihoodLines lines;
    const QByteArray &head;
    const quint64 perChunk;
    const std::unique_ptr<char[]> buffer;
};

// What the two workers of a regular file share, whichever way they write it.
class TwoWorkers {
public:
    TwoWorkers(const ModelOptions &options, const Route &route, BlockWriter &writer,
               const ModelDefinitionWriter::Progress &progress, quint64 totalLines)
        : options(options)
        , route(route)
        , head(encodedHead(options, route))
        , writer(writer)
        , progress(progress)
        , totalLines(totalLines) {}

protected:
    const ModelOptions &options;
    const Route &route;
    const QByteArray head;
    BlockWriter &writer;
    const ModelDefinitionWriter::Progress &progress;
    const quint64 totalLines;

    std::mutex mutex;
    std::condition_variable changed;
    ModelDefinitionWriter::Outcome result = ModelDefinitionWriter::Outcome::Completed;
};

// Writing a regular file in turns, for a descriptor that appends: two workers each make a
// chunk and write it themselves, in the file's order, so the file only ever grows at its end.
// Making the next chunk overlaps with the other worker's write. (A writer thread fed by a
// generator thread, as for pipes, makes every block cross from one core to the other and
// back: measured, that cost more CPU than it saved wall time.)
class TakingTurns : TwoWorkers {
public:
    using TwoWorkers::TwoWorkers;

    // Runs worker 0 or 1 to its end, or to the end of the other one.
    void work(int worker) {
        ChunkMaker maker(options, route, head, ChunkBytes);
        for (quint64 chunk = quint64(worker); maker.firstLine(chunk) < totalLines; chunk += 2) {
            const ChunkMaker::Chunk made = maker.make(chunk);
            if (!waitForTurn(chunk))
                return;
            if (!writer.write(made.data, made.size))
                return stopWith(ModelDefinitionWriter::Outcome::Failed);
            if (made.endsAtProgressPoint() && progress && !progress(made.linesDone, totalLines))
                return stopWith(ModelDefinitionWriter::Outcome::Cancelled);
            passTurn(chunk);
        }
    }

    ModelDefinitionWriter::Outcome finish() const { return result; }

private:
    bool waitForTurn(quint64 chunk) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopped || nextChunk == chunk; });
        return !stopped;
    }
    void passTurn(quint64 chunk) {
        {
            const std::lock_guard lock(mutex);
            nextChunk = chunk + 1;
        }
        changed.notify_all();
    }
    void stopWith(ModelDefinitionWriter::Outcome outcome) {
        {
            const std::lock_guard lock(mutex);
            result = outcome;
            stopped = true;
        }
        changed.notify_all();
    }

    quint64 nextChunk = 0;
    bool stopped = false;
};

// Writing a regular file in place: two workers each take the next chunk, make it and write it
// at the chunk's own offset, which the size arithmetic gives before the lines ahead of it are
// made. Neither waits for the other: the kernel still copies one chunk at a time into the
// file, but no thread sleeps for a turn, and when one worker gets less of the machine, the
// other takes more of the chunks.
//
// A chunk may land before the one ahead of it, leaving a gap of zeros for a moment. Progress
// is reported only once the file is whole up to the point; the final chunk is written last,
// so that a file of full length never has a gap; after a failure or a cancel, whatever lies
// past the gap or the point is cut off.
class WritingInPlace : TwoWorkers {
public:
    WritingInPlace(const ModelOptions &options, const Route &route, const PositionedFile &file,
                   const HistoryLineOffsets &offsets, BlockWriter &writer,
                   const ModelDefinitionWriter::Progress &progress, quint64 totalLines)
        : TwoWorkers(options, route, writer, progress, totalLines)
        , file(file)
        , offsets(offsets)
        , wholeUpTo(file.start()) {}

    // Runs a worker until no chunk is left, or the writing stops.
    void work(int) {
        ChunkMaker maker(options, route, head, ChunkBytes);
        for (quint64 chunk = nextChunk++; maker.firstLine(chunk) < totalLines;
             chunk = nextChunk++) {
            const quint64 offset = offsetOf(maker.firstLine(chunk));
            const ChunkMaker::Chunk made = maker.make(chunk);
            if ((made.last && !waitUntilWholeBefore(chunk)) || stopped.load()
                || !writeAt(made, offset) || !noteWritten(chunk, made, offset))
                return;
        }
    }

    // After both workers: leaves the descriptor at the end of the text, or cuts the file back
    // to where it was whole.
    ModelDefinitionWriter::Outcome finish() {
        if (result == ModelDefinitionWriter::Outcome::Completed && !file.moveTo(wholeUpTo))
            result = ModelDefinitionWriter::Outcome::Failed;
        if (result != ModelDefinitionWriter::Outcome::Completed)
            file.cutBackTo(result == ModelDefinitionWriter::Outcome::Cancelled ? cancelledAt
                                                                               : wholeUpTo);
        return result;
    }

private:
    struct Written {
        quint64 start, end;
        quint64 linesDone;
        bool progressPoint;
    };

    // The first chunk starts with the head, where the descriptor stood.
    quint64 offsetOf(quint64 line) const {
        return file.start() + (line == 0 ? 0 : offsets.offsetOf(line));
    }

    bool waitUntilWholeBefore(quint64 chunk) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopped.load() || wholeChunks == chunk; });
        return !stopped.load();
    }

    // A write the kernel refuses is tried once more through the device, which then either
    // takes it (the fault has passed) or keeps the reason, which the caller reports.
    bool writeAt(const ChunkMaker::Chunk &made, quint64 offset) {
        const qsizetype done = file.writeAt(made.data, made.size, offset);
        if (done == made.size)
            return true;
        const std::lock_guard lock(mutex);
        if (!stopped.load() && file.moveTo(offset + quint64(done))
            && writer.write(made.data + done, made.size - done))
            return true;
        stop(ModelDefinitionWriter::Outcome::Failed);
        return false;
    }

    // Once every chunk before it is written too, the file is whole up to the chunk's end, and
    // progress is reported there. Each chunk must start where the one before it ended: the
    // arithmetic and the lines made agree, or the file is not written.
    bool noteWritten(quint64 chunk, const ChunkMaker::Chunk &made, quint64 start) {
        const std::lock_guard lock(mutex);
        writtenAhead.emplace(chunk, Written{start, start + quint64(made.size), made.linesDone,
                                            made.endsAtProgressPoint()});
        for (auto next = writtenAhead.find(wholeChunks);
             next != writtenAhead.end() && !stopped.load(); next = writtenAhead.find(wholeChunks)) {
            const Written written = next->second;
            writtenAhead.erase(next);
            if (written.start != wholeUpTo) {
                stop(ModelDefinitionWriter::Outcome::Failed);
                break;
            }
            ++wholeChunks;
            wholeUpTo = written.end;
            if (written.progressPoint && progress && !progress(written.linesDone, totalLines)) {
                cancelledAt = written.end;
                stop(ModelDefinitionWriter::Outcome::Cancelled);
            }
        }
        changed.notify_all();
        return !stopped.load();
    }

    // Called with the mutex held; the first reason to stop is the one that counts.
    void stop(ModelDefinitionWriter::Outcome outcome) {
        if (!stopped.load())
            result = outcome;
        stopped.store(true);
        changed.notify_all();
    }

    const PositionedFile &file;
    const HistoryLineOffsets &offsets;

    std::atomic<quint64> nextChunk = 0;      // the next chunk a worker takes
    quint64 wholeChunks = 0;                 // chunks written with every chunk before them
    quint64 wholeUpTo;                       // where they end
    std::map<quint64, Written> writtenAhead; // written while one before them was not
    quint64 cancelledAt = 0;
    std::atomic<bool> stopped = false; // also read between chunks without the mutex
};

constexpr quint64 SmallFileBytes = 1024 * 1024;

bool historiesFitBeforeProgress(const ModelOptions &options) {
    return historyCount(options.numPeriods, options.censoring)
           < UInt128(ModelDefinitionWriter::ProgressInterval);
}

// A thread that takes no asynchronous signals, so that a signal meant to interrupt a write
// reaches the calling thread.
template<class Work> std::thread startHelper(Work work) {
#ifdef Q_OS_UNIX
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
#endif
    std::thread helper(std::move(work));
#ifdef Q_OS_UNIX
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
    return helper;
}

// Runs worker 0 on this thread and worker 1 on a helper, to their end.
template<class Workers>
ModelDefinitionWriter::Outcome runWorkers(Workers &workers, QTextStream &out,
                                          const ModelDefinitionWriter::Progress &progress,
                                          quint64 totalLines) {
    std::thread helper = startHelper([&workers] { workers.work(1); });
    workers.work(0);
    helper.join();
    const ModelDefinitionWriter::Outcome outcome = workers.finish();
    if (outcome == ModelDefinitionWriter::Outcome::Failed)
        out.setStatus(QTextStream::WriteFailed);
    else if (outcome == ModelDefinitionWriter::Outcome::Completed && progress)
        progress(totalLines, totalLines);
    return outcome;
}

} // namespace

void ModelDefinitionWriter::write(QTextStream &out, const ModelOptions &options) {
    write(out, options, Progress());
}

// Generating and writing overlap. A regular file is written by two workers, each chunk at
// its own offset or, when the file is opened for appending, in turns. Any other device gets
// its blocks from a generator thread while this thread writes them: only this thread touches
// the stream and its device then, so that a signal reaches a write that waits.
ModelDefinitionWriter::Outcome ModelDefinitionWriter::write(QTextStream &out,
                                                            const ModelOptions &options,
                                                            const Progress &progress) {
    Q_ASSERT_X(options.numPeriods >= 2, "ModelDefinitionWriter", "needs at least two periods");
    if (options.numPeriods < 2) {
        out.setStatus(QTextStream::WriteFailed);
        return Outcome::Failed;
    }

    const Route route(out);
    if (route.device)
        out.flush(); // whatever the stream holds goes first
    const quint64 total = historyCount(options.numPeriods, options.censoring).toUInt64Saturated();

    // A small file is made whole first, on this thread: a second thread would cost more than
    // it saves. The blocks and the progress points are the same either way.
    const bool small = historiesFitBeforeProgress(options)
                       && modelDefinitionSize(options).bytes <= UInt128(SmallFileBytes);
    BlockWriter writer(out, route);
    if (!small && route.regularFile && total < ~quint64(0)) {
        if (const std::optional<PositionedFile> file = PositionedFile::of(route.device)) {
            const HistoryLineOffsets offsets(options, 1, route.encoding);
            const quint64 bytes = offsets.offsetOf(total);
            if (offsets.isValid()
                && bytes <= quint64(std::numeric_limits<qint64>::max()) - file->start()) {
                file->reserve(bytes);
                WritingInPlace inPlace(options, route, *file, offsets, writer, progress, total);
                return runWorkers(inPlace, out, progress, total);
            }
        }
        TakingTurns turns(options, route, writer, progress, total);
        return runWorkers(turns, out, progress, total);
    }

    BlockPipe pipe(small ? BlockPipe::Mode::Unbounded : BlockPipe::Mode::Bounded);
    std::thread generator;
    if (small)
        generate(options, route, pipe);
    else
        generator = startHelper([&] { generate(options, route, pipe); });
    Outcome outcome = Outcome::Completed;
    quint64 written = 0;
    while (BlockPipe::Block *block = pipe.takeFilled()) {
        const bool ok = writer.write(*block);
        written = block->linesEnded;
        const bool reportNow = block->progressPoint;
        pipe.giveBack(block);
        if (!ok)
            outcome = Outcome::Failed;
        else if (reportNow && progress && !progress(written, total))
            outcome = Outcome::Cancelled;
        if (outcome != Outcome::Completed) {
            pipe.stop();
            break;
        }
    }
    if (generator.joinable())
        generator.join();
    if (outcome == Outcome::Completed && progress)
        progress(written, total);
    return outcome;
}
