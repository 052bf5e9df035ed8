// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionwriter.h"

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

using namespace ModelText;

namespace {

// Where the bytes go. Whenever it can, the writer encodes its pieces once, up front, in the
// stream's encoding and hands the stream's device large blocks of bytes, instead of converting
// every line from UTF-16. Other streams (no device, a byte-order mark still to come, padding,
// a stateful encoding) get the same text through the stream, a block at a time.
class Output {
public:
    explicit Output(QTextStream &stream)
        : out(stream)
        , device(writesBytesDirectly(stream) ? stream.device() : nullptr)
        , encoder(device ? stream.encoding() : QStringConverter::Utf8)
        , block(BlockSize, Qt::Uninitialized) {
        if (device)
            out.flush(); // whatever the stream holds goes first
    }

    QByteArray encode(const QString &text) { return encoder.encode(text); }

    void write(const QByteArray &bytes) {
        char *end = reserve(bytes.size());
        std::memcpy(end, bytes.constData(), size_t(bytes.size()));
        commit(end + bytes.size());
    }

    // Room for `bytes` more bytes; write them at the pointer returned, then commit.
    char *reserve(qsizetype bytes) {
        if (block.size() - used < bytes) {
            flush();
            if (block.size() < bytes)
                block.resize(bytes);
        }
        return block.data() + used;
    }
    void commit(const char *end) { used = end - block.constData(); }

    void flush() {
        if (used > 0 && !failed)
            failed = device ? !writeToDevice() : !writeToStream();
        used = 0;
    }
    bool hasFailed() const { return failed; }

private:
    static constexpr qsizetype BlockSize = 256 * 1024;

    static bool writesBytesDirectly(const QTextStream &stream) {
        const QIODevice *target = stream.device();
        return target && target->isWritable() && stream.fieldWidth() == 0
               && !stream.generateByteOrderMark() && PieceEncoder::isStateless(stream.encoding());
    }

    // A short write is not the end yet: writing the rest makes a device that really is full
    // say why (a file at its size limit first takes what fits, then fails with EFBIG).
    bool writeToDevice() {
        for (qsizetype done = 0; done < used;) {
            const qint64 written = device->write(block.constData() + done, used - done);
            if (written <= 0) {
                out.setStatus(QTextStream::WriteFailed);
                return false;
            }
            done += qsizetype(written);
        }
        return true;
    }

    bool writeToStream() {
        out << QString::fromUtf8(block.constData(), used);
        return out.status() == QTextStream::Ok;
    }

    QTextStream &out;
    QIODevice *device;
    PieceEncoder encoder;
    QByteArray block;
    qsizetype used = 0;
    bool failed = false;
};

// Bytes of a line that change with the history, kept in place between lines.
class TailBuffer {
public:
    void setCapacity(qsizetype capacity) {
        bytes.resize(capacity);
        begin = bytes.data();
    }
    qsizetype size() const { return used; }
    const char *data() const { return begin; }
    void truncate(qsizetype length) { used = length; }
    void append(const QByteArray &piece) {
        std::memcpy(begin + used, piece.constData(), size_t(piece.size()));
        used += piece.size();
    }

private:
    QByteArray bytes;
    char *begin = nullptr;
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
    LikelihoodLines(const ModelOptions &options, Output &output)
        : options(options)
        , output(output)
        , n(options.numPeriods)
        , counter(options.numPeriods, options.censoring)
        , symbolPieces(n + 1)
        , factorPieces(n)
        , closings(n + 1)
        , symbolStart(n + 1)
        , factorStart(n + 1) {
        encodePieces();
        reserveLine();
    }

    ModelDefinitionWriter::Outcome writeAll(const ModelDefinitionWriter::Progress &progress) {
        const quint64 total = historyCount(n, options.censoring).toUInt64Saturated();
        quint64 written = 0;
        rebuildFrom(1);
        for (;;) {
            char *end = output.reserve(maxLineLength);
            end = copyCurrentLine(end);
            const bool more = counter.advance();
            end = copy(end, more ? lineEnd : lastLineEnd);
            output.commit(end);
            ++written;
            if (!more)
                break;
            rebuildFrom(counter.firstChangedOccasion());
            if (written % ModelDefinitionWriter::ProgressInterval == 0) {
                if (output.hasFailed())
                    return ModelDefinitionWriter::Outcome::Failed;
                if (progress && !progress(written, total))
                    return ModelDefinitionWriter::Outcome::Cancelled;
            }
        }
        output.flush();
        if (output.hasFailed())
            return ModelDefinitionWriter::Outcome::Failed;
        if (progress)
            progress(written, total);
        return ModelDefinitionWriter::Outcome::Completed;
    }

private:
    void encodePieces() {
        for (int i = 1; i <= n; ++i) {
            const QString separator = i < n ? SymbolSeparator : QString();
            for (int digit = 0; digit <= 2; ++digit)
                symbolPieces[i][digit] = output.encode(symbol(options, digit) + separator);
        }
        for (int i = 1; i < n; ++i) {
            for (int digit = 0; digit <= 2; ++digit)
                factorPieces[i][digit] = output.encode(factor(options, i, digit));
        }
        for (int last = 0; last <= n; ++last)
            closings[last] = output.encode(closingFactor(options, last, false));
        releasePrefix = output.encode(ModelText::releasePrefix(options));
        productSeparator = output.encode(ProductSeparator);
        lineEnd = output.encode(LineEnd);
        lastLineEnd = output.encode(LastLineEnd);
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
        symbols.append(releasePrefix);
        symbolStart[1] = symbols.size();
        factorStart[1] = 0;
        maxLineLength = symbolBytes + productSeparator.size() + factorBytes + closingBytes
                        + std::max(lineEnd.size(), lastLineEnd.size());
    }

    // Rebuilds symbols and factors of the occasions from `first` on for the current history.
    void rebuildFrom(int first) {
        symbols.truncate(symbolStart[first]);
        for (int i = first; i <= n; ++i) {
            symbolStart[i] = symbols.size();
            symbols.append(symbolPieces[i][counter.digit(i)]);
        }
        factors.truncate(factorStart[first]);
        for (int i = first; i < n; ++i) {
            factorStart[i] = factors.size();
            factors.append(factorPieces[i][counter.digit(i)]);
        }
        factorStart[n] = factors.size();
    }

    char *copyCurrentLine(char *to) const {
        const int last = counter.lastDetection();
        const int factorOccasions = std::min(last, n - 1);
        const qsizetype factorBytes = factorStart[factorOccasions + 1];
        const bool censored = last > 0 && counter.isCensored(last);

        to = copy(to, symbols.data(), symbols.size());
        to = copy(to, productSeparator);
        to = copy(to, factors.data(), factorBytes);
        if (!censored)
            to = copy(to, closings[last]);
        return to;
    }

    const ModelOptions &options;
    Output &output;
    const int n;
    HistoryCounter counter;

    // Encoded pieces, by occasion (from 1) and digit.
    QList<std::array<QByteArray, 3>> symbolPieces; // symbol and separator; none after N
    QList<std::array<QByteArray, 3>> factorPieces; // occasions 1..N-1
    QList<QByteArray> closings;                    // by last detection, 0..N
    QByteArray releasePrefix, productSeparator, lineEnd, lastLineEnd;

    TailBuffer symbols;
    QList<qsizetype> symbolStart; // where occasion i's symbol begins
    TailBuffer factors;
    QList<qsizetype> factorStart; // where occasion i's factors begin; [N] is their end
    qsizetype maxLineLength = 0;
};

} // namespace

void ModelDefinitionWriter::write(QTextStream &out, const ModelOptions &options) {
    write(out, options, Progress());
}

ModelDefinitionWriter::Outcome ModelDefinitionWriter::write(QTextStream &out,
                                                            const ModelOptions &options,
                                                            const Progress &progress) {
    Q_ASSERT_X(options.numPeriods >= 2, "ModelDefinitionWriter", "needs at least two periods");
    if (options.numPeriods < 2) {
        out.setStatus(QTextStream::WriteFailed);
        return Outcome::Failed;
    }

    Output output(out);
    output.write(output.encode(parametersSection(options)));
    output.write(output.encode(variablesSection(options)));
    output.write(output.encode(likelihoodHead()));
    return LikelihoodLines(options, output).writeAll(progress);
}
