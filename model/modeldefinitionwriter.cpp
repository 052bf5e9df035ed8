// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionwriter.h"

#include "blockpipe.h"
#include "historycounter.h"
#include "modeldefinitionsize.h"
#include "modeloptions.h"
#include "modeltext.h"
#include "pieceencoder.h"

#include <QIODevice>
#include <QList>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <pthread.h>
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
        , encoding(stream.encoding()) {}

    static bool writesBytesDirectly(const QTextStream &stream) {
        const QIODevice *target = stream.device();
        return target && target->isWritable() && stream.fieldWidth() == 0
               && !stream.generateByteOrderMark() && PieceEncoder::isStateless(stream.encoding());
    }

    QIODevice *device;
    QStringConverter::Encoding encoding;
};

// Pieces of text as the blocks carry them: in the device's encoding, or as UTF-16 for the
// stream, which then encodes them itself (nothing is lost on the way, not even a lone
// surrogate).
class PieceBytes {
public:
    explicit PieceBytes(const Route &route)
        : direct(route.device != nullptr)
        , encoder(direct ? route.encoding : QStringConverter::Utf8) {}

    QByteArray operator()(const QString &text) {
        if (direct)
            return encoder.encode(text);
        return QByteArray(reinterpret_cast<const char *>(text.utf16()),
                          text.size() * qsizetype(sizeof(char16_t)));
    }

private:
    bool direct;
    PieceEncoder encoder;
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

    bool write(const QByteArray &bytes) {
        char *at = reserve(bytes.size());
        if (!at)
            return false;
        std::memcpy(at, bytes.constData(), size_t(bytes.size()));
        commit(at + bytes.size());
        return true;
    }

    void lineDone() { ++lines; }
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

// An encoded piece where the hot loop can reach it without going through a container.
struct Piece {
    const char *data = nullptr;
    qsizetype size = 0;
};

Piece pieceOf(const QByteArray &bytes) {
    return {bytes.constData(), bytes.size()};
}

// Bytes of a line that change with the history, kept in place between lines.
class TailBuffer {
public:
    void setCapacity(qsizetype capacity) { bytes.resize(size_t(capacity)); }
    qsizetype size() const { return used; }
    const char *data() const { return bytes.data(); }
    void truncate(qsizetype length) { used = length; }
    void append(Piece piece) {
        std::memcpy(bytes.data() + used, piece.data, size_t(piece.size));
        used += piece.size;
    }

private:
    std::vector<char> bytes;
    qsizetype used = 0;
};

char *copy(char *to, const char *from, qsizetype length) {
    std::memcpy(to, from, size_t(length));
    return to + length;
}

char *copy(char *to, const QByteArray &from) {
    return copy(to, from.constData(), from.size());
}

qsizetype longest(const std::array<QByteArray, 3> &pieces) {
    return std::max({pieces[0].size(), pieces[1].size(), pieces[2].size()});
}

// The likelihood lines: for each history, its symbols, ", ", the factors of occasions 1 to
// min(L, N-1), the closing factor and "," (";" after the last history).
//
// Every piece is encoded once, up front, by occasion and digit. Consecutive histories differ
// only from the counter's first changed occasion on, so the symbols and factors of the
// occasions before it stay in place and only the tail is rebuilt.
class LikelihoodLines {
public:
    LikelihoodLines(const ModelOptions &options, PieceBytes &encode, BlockFiller &output)
        : options(options)
        , output(output)
        , n(options.numPeriods)
        , counter(options.numPeriods, options.censoring)
        , symbolPieces(n + 1)
        , factorPieces(n)
        , closings(n + 1)
        , symbolAt(size_t(n + 1) * 3)
        , factorAt(size_t(n) * 3)
        , symbolStart(size_t(n + 1))
        , factorStart(size_t(n + 1)) {
        encodePieces(encode);
        indexPieces();
        reserveLine();
    }

    // Writes every line; false when the writing side stopped first.
    bool writeAll() {
        rebuildFrom(1);
        for (;;) {
            char *end = output.reserve(maxLineLength);
            if (!end)
                return false;
            end = copyCurrentLine(end);
            const bool more = counter.advance();
            end = copy(end, more ? lineEnd : lastLineEnd);
            output.commit(end);
            output.lineDone();
            if (!more)
                return true;
            rebuildFrom(counter.firstChangedOccasion());
            if (output.linesDone() % ModelDefinitionWriter::ProgressInterval == 0)
                output.progressPoint();
        }
    }

private:
    void encodePieces(PieceBytes &encode) {
        for (int i = 1; i <= n; ++i) {
            const QString separator = i < n ? SymbolSeparator : QString();
            for (int digit = 0; digit <= 2; ++digit)
                symbolPieces[i][digit] = encode(symbol(options, digit) + separator);
        }
        for (int i = 1; i < n; ++i) {
            for (int digit = 0; digit <= 2; ++digit)
                factorPieces[i][digit] = encode(factor(options, i, digit));
        }
        for (int last = 0; last <= n; ++last)
            closings[last] = encode(closingFactor(options, last, false));
        releasePrefix = encode(ModelText::releasePrefix(options));
        productSeparator = encode(ProductSeparator);
        lineEnd = encode(LineEnd);
        lastLineEnd = encode(LastLineEnd);
    }

    void indexPieces() {
        for (int i = 1; i <= n; ++i) {
            for (int digit = 0; digit <= 2; ++digit) {
                symbolAt[size_t(i * 3 + digit)] = pieceOf(symbolPieces.at(i).at(digit));
                if (i < n)
                    factorAt[size_t(i * 3 + digit)] = pieceOf(factorPieces.at(i).at(digit));
            }
        }
    }

    void reserveLine() {
        qsizetype symbolBytes = releasePrefix.size();
        for (int i = 1; i <= n; ++i)
            symbolBytes += longest(symbolPieces[i]);
        qsizetype factorBytes = 0;
        for (int i = 1; i < n; ++i)
            factorBytes += longest(factorPieces[i]);
        qsizetype closingBytes = 0;
        for (const QByteArray &closing : std::as_const(closings))
            closingBytes = std::max(closingBytes, closing.size());

        symbols.setCapacity(symbolBytes);
        factors.setCapacity(factorBytes);
        symbols.append(pieceOf(releasePrefix));
        symbolStart[1] = symbols.size();
        factorStart[1] = 0;
        maxLineLength = symbolBytes + productSeparator.size() + factorBytes + closingBytes
                        + std::max(lineEnd.size(), lastLineEnd.size());
    }

    // Rebuilds symbols and factors of the occasions from `first` on for the current history.
    void rebuildFrom(int first) {
        symbols.truncate(symbolStart[size_t(first)]);
        for (int i = first; i <= n; ++i) {
            symbolStart[size_t(i)] = symbols.size();
            symbols.append(symbolAt[size_t(i * 3 + counter.digit(i))]);
        }
        factors.truncate(factorStart[size_t(first)]);
        for (int i = first; i < n; ++i) {
            factorStart[size_t(i)] = factors.size();
            factors.append(factorAt[size_t(i * 3 + counter.digit(i))]);
        }
        factorStart[size_t(n)] = factors.size();
    }

    char *copyCurrentLine(char *to) const {
        const int last = counter.lastDetection();
        const int factorOccasions = std::min(last, n - 1);
        const qsizetype factorBytes = factorStart[size_t(factorOccasions + 1)];
        const bool censored = last > 0 && counter.isCensored(last);

        to = copy(to, symbols.data(), symbols.size());
        to = copy(to, productSeparator);
        to = copy(to, factors.data(), factorBytes);
        if (!censored)
            to = copy(to, closings.at(last));
        return to;
    }

    const ModelOptions &options;
    BlockFiller &output;
    const int n;
    HistoryCounter counter;

    // Encoded pieces, by occasion (from 1) and digit.
    QList<std::array<QByteArray, 3>> symbolPieces; // symbol and separator; none after N
    QList<std::array<QByteArray, 3>> factorPieces; // occasions 1..N-1
    QList<QByteArray> closings;                    // by last detection, 0..N
    QByteArray releasePrefix, productSeparator, lineEnd, lastLineEnd;

    std::vector<Piece> symbolAt; // [3 * occasion + digit]
    std::vector<Piece> factorAt;

    TailBuffer symbols;
    std::vector<qsizetype> symbolStart; // where occasion i's symbol begins
    TailBuffer factors;
    std::vector<qsizetype> factorStart; // where occasion i's factors begin; [N] is their end
    qsizetype maxLineLength = 0;
};

// The whole file, into the pipe; runs on the generating thread.
void generate(const ModelOptions &options, const Route &route, BlockPipe &pipe) {
    PieceBytes encode(route);
    BlockFiller output(pipe);
    const bool wrote = output.write(encode(parametersSection(options)))
                       && output.write(encode(variablesSection(options)))
                       && output.write(encode(likelihoodHead()))
                       && LikelihoodLines(options, encode, output).writeAll();
    if (wrote)
        output.finish();
}

// The writing side: hands each block to the device, or as text to the stream.
class BlockWriter {
public:
    BlockWriter(QTextStream &out, const Route &route)
        : out(out)
        , device(route.device) {}

    bool write(const BlockPipe::Block &block) {
        return device ? writeToDevice(block.bytes.data(), block.used)
                      : writeToStream(block.bytes.data(), block.used);
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

constexpr quint64 SmallFileBytes = 1024 * 1024;

bool historiesFitBeforeProgress(const ModelOptions &options) {
    return historyCount(options.numPeriods, options.censoring)
           < UInt128(ModelDefinitionWriter::ProgressInterval);
}

// A thread that takes no asynchronous signals, so that a signal meant to interrupt a write
// reaches the thread that is writing.
std::thread startGenerator(const ModelOptions &options, const Route &route, BlockPipe &pipe) {
#ifdef Q_OS_UNIX
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
#endif
    std::thread generator(generate, std::cref(options), std::cref(route), std::ref(pipe));
#ifdef Q_OS_UNIX
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
    return generator;
}

} // namespace

void ModelDefinitionWriter::write(QTextStream &out, const ModelOptions &options) {
    write(out, options, Progress());
}

// The text is generated on a second thread while this one writes the previous block, so that
// generating and writing overlap. Only this thread touches the stream and its device.
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
    BlockPipe pipe(small ? BlockPipe::Mode::Unbounded : BlockPipe::Mode::Bounded);
    std::thread generator;
    if (small)
        generate(options, route, pipe);
    else
        generator = startGenerator(options, route, pipe);
    BlockWriter writer(out, route);
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
