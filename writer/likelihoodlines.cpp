// SPDX-License-Identifier: GPL-3.0-or-later
#include "likelihoodlines.h"

#include "modeloptions.h"
#include "modeltext.h"

#include <algorithm>

using namespace ModelText;

namespace {

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

} // namespace

PieceBytes::PieceBytes(bool direct, QStringConverter::Encoding encoding)
    : direct(direct)
    , encoder(direct ? encoding : QStringConverter::Utf8) {}

QByteArray PieceBytes::operator()(const QString &text) {
    if (direct)
        return encoder.encode(text);
    return QByteArray(reinterpret_cast<const char *>(text.utf16()),
                      text.size() * qsizetype(sizeof(char16_t)));
}

QByteArray encodedHead(const ModelOptions &options, PieceBytes &encode) {
    return encode(parametersSection(options)) + encode(variablesSection(options))
           + encode(likelihoodHead());
}

LikelihoodLines::LikelihoodLines(const ModelOptions &options, PieceBytes &encode)
    : options(options)
    , n(options.numPeriods)
    , counter(options.numPeriods, options.censoring)
    , symbolPieces(n + 1)
    , factorPieces(n)
    , closingLines(n + 2)
    , closingLastLines(n + 2)
    , symbolAt(size_t(n + 1) * 3)
    , factorAt(size_t(n) * 3)
    , symbolStart(size_t(n + 1))
    , factorStart(size_t(n + 1)) {
    encodePieces(encode);
    indexPieces();
    reserveLine();
    rebuildFrom(1);
}

void LikelihoodLines::startAt(quint64 index) {
    counter.jumpTo(index);
    rebuildFrom(1);
}

// Rebuilds symbols and factors of the occasions from `first` on for the current history.
inline void LikelihoodLines::rebuildFrom(int first) { // inline: writeLines is the hot loop
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

// Copies the symbols, ", " and the factors of the current history and moves `to` past
// them; returns which closing ends the line: the last detection L, or N + 1 when the
// history ends with a censoring.
inline int LikelihoodLines::copyCurrentLine(char *&to) const {
    const int last = counter.lastDetection();
    const int factorOccasions = std::min(last, n - 1);
    const qsizetype factorBytes = factorStart[size_t(factorOccasions + 1)];
    const bool censored = last > 0 && counter.isCensored(last);

    to = copy(to, symbols.data(), symbols.size());
    to = copy(to, factors.data(), factorBytes);
    return censored ? n + 1 : last;
}

char *LikelihoodLines::writeLines(char *to, quint64 count, quint64 &written, bool &last) {
    last = false;
    for (written = 0; written < count;) {
        const int closing = copyCurrentLine(to);
        const bool more = counter.advance();
        to = copy(to, (more ? closingLines : closingLastLines).at(closing));
        ++written;
        if (!more) {
            last = true;
            break;
        }
        rebuildFrom(counter.firstChangedOccasion());
    }
    return to;
}

void LikelihoodLines::encodePieces(PieceBytes &encode) {
    for (int i = 1; i <= n; ++i) {
        const QString separator = i < n ? SymbolSeparator : ProductSeparator;
        for (int digit = 0; digit <= 2; ++digit)
            symbolPieces[i][digit] = encode(symbol(options, digit) + separator);
    }
    for (int i = 1; i < n; ++i) {
        for (int digit = 0; digit <= 2; ++digit)
            factorPieces[i][digit] = encode(factor(options, i, digit));
    }
    for (int closing = 0; closing <= n + 1; ++closing) {
        const QString factor =
            closing <= n ? closingFactor(options, closing, false) : QString(); // after a censoring
        closingLines[closing] = encode(factor + LineEnd);
        closingLastLines[closing] = encode(factor + LastLineEnd);
    }
    releasePrefix = encode(ModelText::releasePrefix(options));
}

void LikelihoodLines::indexPieces() {
    for (int i = 1; i <= n; ++i) {
        for (int digit = 0; digit <= 2; ++digit) {
            symbolAt[size_t(i * 3 + digit)] = pieceOf(symbolPieces.at(i).at(digit));
            if (i < n)
                factorAt[size_t(i * 3 + digit)] = pieceOf(factorPieces.at(i).at(digit));
        }
    }
}

void LikelihoodLines::reserveLine() {
    qsizetype symbolBytes = releasePrefix.size();
    for (int i = 1; i <= n; ++i)
        symbolBytes += longest(symbolPieces[i]);
    qsizetype factorBytes = 0;
    for (int i = 1; i < n; ++i)
        factorBytes += longest(factorPieces[i]);
    qsizetype closingBytes = 0;
    for (const QList<QByteArray> *closings : {&closingLines, &closingLastLines}) {
        for (const QByteArray &closing : *closings)
            closingBytes = std::max(closingBytes, closing.size());
    }

    symbols.setCapacity(symbolBytes);
    factors.setCapacity(factorBytes);
    symbols.append(pieceOf(releasePrefix));
    symbolStart[1] = symbols.size();
    factorStart[1] = 0;
    maxLineLength = symbolBytes + factorBytes + closingBytes;
}
