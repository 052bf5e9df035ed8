// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "historycounter.h"
#include "modeloptions.h"
#include "writtenblocks.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QIODevice>

#include <cstring>
#include <functional>
#include <utility>

// Model files read as devices while they are made, so that tests of files of hundreds of MB
// (and of lines of tens of MB) hold none of them whole.

// Hands out the chunks a function makes, until it makes an empty one, as a pipe would.
class GeneratedDevice : public QIODevice {
public:
    explicit GeneratedDevice(std::function<QByteArray()> nextChunk)
        : nextChunk(std::move(nextChunk)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        while (position == chunk.size() && !ended) {
            chunk = nextChunk();
            position = 0;
            ended = chunk.isEmpty();
        }
        const qint64 count = std::min(maxSize, qint64(chunk.size() - position));
        std::memcpy(data, chunk.constData() + position, size_t(count));
        position += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::function<QByteArray()> nextChunk;
    QByteArray chunk;
    qsizetype position = 0;
    bool ended = false;
};

// The chunks of a text made of a head, a part repeated `times` times and a tail.
inline std::function<QByteArray()> repeated(const QByteArray &head, const QByteArray &part,
                                            qint64 times, const QByteArray &tail) {
    const qint64 perChunk =
        std::max<qint64>(1, (qint64(1) << 16) / std::max<qsizetype>(1, part.size()));
    return [=, step = 0, left = times]() mutable -> QByteArray {
        switch (step) {
        case 0:
            ++step;
            return head;
        case 1:
            if (left > 0) {
                const qint64 count = std::min(left, perChunk);
                left -= count;
                return part.repeated(count);
            }
            ++step;
            return tail;
        default:
            return QByteArray();
        }
    };
}

// The writer's file for some options with its histories edited on the way. The edit sees each
// history line (numbered from 0 in the order written, without its "," or ";") and puts out
// the lines that take its place; the device then ends every history line but the last with
// "," and the last with ";". Line ends may be changed and bytes put before the file.
class EditedWrittenFile : public GeneratedDevice {
public:
    using Edit = std::function<void(quint64 history, const QByteArray &line, QByteArrayList &out)>;

    explicit EditedWrittenFile(const ModelOptions &options, Edit edit = {},
                               QByteArray lineEnd = "\n", QByteArray start = QByteArray())
        : GeneratedDevice([this] { return nextChunk(); })
        , blocks(options)
        , edit(std::move(edit))
        , lineEnd(std::move(lineEnd))
        , ready(std::move(start)) {}

private:
    // The next lines, edited; empty once the writer's text and the last line are out.
    QByteArray nextChunk() {
        while (ready.isEmpty() && !ended) {
            const QByteArray block = blocks.next();
            if (block.isEmpty()) {
                ended = true;
                if (held)
                    ready += heldLine + ';' + lineEnd;
                break;
            }
            pending += block;
            qsizetype from = 0;
            for (qsizetype newline; (newline = pending.indexOf('\n', from)) >= 0;
                 from = newline + 1)
                takeLine(pending.sliced(from, newline - from));
            pending.remove(0, from);
        }
        return std::exchange(ready, QByteArray());
    }

    void takeLine(const QByteArray &line) {
        if (!inHistories) {
            ready += line + lineEnd;
            inHistories = line == "\"CJS Likelihood\"";
            return;
        }
        QByteArrayList out;
        const QByteArray text = line.chopped(1);
        if (edit)
            edit(historyIndex++, text, out);
        else
            out.append(text);
        for (const QByteArray &next : std::as_const(out)) {
            if (held)
                ready += heldLine + ',' + lineEnd;
            heldLine = next;
            held = true;
        }
    }

    WrittenBlocks blocks;
    Edit edit;
    QByteArray lineEnd;
    QByteArray ready;
    QByteArray pending;
    bool inHistories = false;
    bool ended = false;
    quint64 historyIndex = 0;
    bool held = false;
    QByteArray heldLine;
};

// The line of the first history in the writer's file: the parameters five to a line, the
// final one after them, the variables one to a line, three headings, two empty lines and the
// title before.
inline int firstHistoryLine(const ModelOptions &options) {
    const int items = (options.numPeriods - 1) * (options.censoring ? 3 : 2);
    const int parameterLines = items / 5 + 1;
    return parameterLines + options.numPeriods + 7;
}

// How many histories the writer lists for these options.
inline quint64 historiesOf(const ModelOptions &options) {
    const int n = options.numPeriods;
    return options.censoring ? 3 * (quint64(1) << (n - 1)) - 1 : quint64(1) << n;
}

// The symbols of the history at a place in the writer's order, as the writer puts them.
inline QByteArray historySymbols(const ModelOptions &options, quint64 place) {
    HistoryCounter counter(options.numPeriods, options.censoring);
    if (!counter.jumpTo(place))
        qFatal("there is no history %llu", static_cast<unsigned long long>(place));
    QStringList symbols;
    if (options.initialRelease)
        symbols.append(options.detectedSymbol);
    for (int occasion = 1; occasion <= options.numPeriods; ++occasion) {
        symbols.append(counter.isCensored(occasion)   ? options.censoredSymbol
                       : counter.isDetected(occasion) ? options.detectedSymbol
                                                      : options.notDetectedSymbol);
    }
    return symbols.join(u' ').toUtf8();
}

// The place of the history with these digits (0, 1, 2 by occasion) in the writer's order.
inline quint64 placeOf(const ModelOptions &options, const QList<int> &digits) {
    HistoryCounter counter(options.numPeriods, options.censoring);
    for (quint64 place = 0;; ++place) {
        bool same = true;
        for (int occasion = 1; occasion <= options.numPeriods && same; ++occasion)
            same = counter.digit(occasion) == digits.at(occasion - 1);
        if (same)
            return place;
        if (!counter.advance())
            qFatal("the writer lists no such history");
    }
}
