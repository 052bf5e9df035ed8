// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "historycounter.h"
#include "pieceencoder.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringConverter>

#include <array>
#include <cstring>
#include <vector>

struct ModelOptions;

// Pieces of text as the writer's blocks carry them: in the device's encoding, or as UTF-16 for
// a stream that then encodes them itself (nothing is lost on the way, not even a lone
// surrogate).
class PieceBytes {
public:
    // `direct`: the bytes go straight to a device, in `encoding`.
    PieceBytes(bool direct, QStringConverter::Encoding encoding);

    QByteArray operator()(const QString &text);

private:
    bool direct;
    PieceEncoder encoder;
};

// The parameters and variables sections and the likelihood's head, as one piece.
QByteArray encodedHead(const ModelOptions &options, PieceBytes &encode);

// The likelihood lines: for each history, its symbols, ", ", the factors of occasions 1 to
// min(L, N-1), the closing factor and "," (";" after the last history).
//
// Every piece is encoded once, up front, by occasion and digit. Consecutive histories differ
// only from the counter's first changed occasion on, so the symbols and factors of the
// occasions before it stay in place and only the tail is rebuilt. The pieces carry what
// follows them (the last symbol ", ", the closing factor the line's end), so that a line takes
// three copies whatever its length: short lines, as in reduced models, cost little more.
class LikelihoodLines {
public:
    LikelihoodLines(const ModelOptions &options, PieceBytes &encode);

    // The most bytes one line takes.
    qsizetype maxLineBytes() const { return maxLineLength; }

    // The next line written is that of history `index` (0 is the first).
    void startAt(quint64 index);

    // Writes up to `count` lines from the current history on, at `to`, which has room for
    // count * maxLineBytes(); returns where they end. `written` tells how many lines that
    // was, fewer than `count` only when the final history came first; `last`, whether the
    // final history was among them.
    char *writeLines(char *to, quint64 count, quint64 &written, bool &last);

private:
    // An encoded piece where the hot loop can reach it without going through a container.
    struct Piece {
        const char *data = nullptr;
        qsizetype size = 0;
    };

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

    static Piece pieceOf(const QByteArray &bytes) { return {bytes.constData(), bytes.size()}; }

    void encodePieces(PieceBytes &encode);
    void indexPieces();
    void reserveLine();
    void rebuildFrom(int first);
    int copyCurrentLine(char *&to) const;

    const ModelOptions &options;
    const int n;
    HistoryCounter counter;

    // Encoded pieces, by occasion (from 1) and digit.
    QList<std::array<QByteArray, 3>> symbolPieces; // symbol and " ", or ", " after N
    QList<std::array<QByteArray, 3>> factorPieces; // occasions 1..N-1
    // The closing factor and the line's end, by last detection 0..N; N + 1 after a censoring.
    QList<QByteArray> closingLines;     // ",\n"
    QList<QByteArray> closingLastLines; // ";\n", for the final history
    QByteArray releasePrefix;

    std::vector<Piece> symbolAt; // [3 * occasion + digit]
    std::vector<Piece> factorAt;

    TailBuffer symbols;
    std::vector<qsizetype> symbolStart; // where occasion i's symbol begins
    TailBuffer factors;
    std::vector<qsizetype> factorStart; // where occasion i's factors begin; [N] is their end
    qsizetype maxLineLength = 0;
};
