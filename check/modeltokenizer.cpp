// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeltokenizer.h"

#include <QCoreApplication>
#include <QIODevice>

#include <cstring>

QString ReaderText::tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionReader", text);
}

namespace {

using ReaderText::tr;

// Also the longest token: no name, number, symbol or title of a model comes near it.
constexpr qsizetype BlockSize = qsizetype(1) << 20;
constexpr qsizetype LongestShownToken = 24;

} // namespace

ModelTokenizer::ModelTokenizer(QIODevice &device)
    : device(device)
    , buffer(BlockSize, Qt::Uninitialized)
    , bytes(buffer.data()) {}

// ---- Input -------------------------------------------------------------------------------

// Keeps the bytes from keepFrom on, moved to the front of the buffer, and reads more after
// them. False at the end of the input or on a device error (which becomes the error).
bool ModelTokenizer::refill(qsizetype keepFrom) {
    if (inputEnded || failed())
        return false;
    const qsizetype kept = size - keepFrom;
    if (kept == buffer.size()) {
        failWith(keepFrom,
                 tr("a single name, number, history symbol or title goes on for %1 MiB from "
                    "here, more than the check reads as one piece")
                     .arg(BlockSize >> 20),
                 Failure::Limit);
        return false;
    }
    ++refills;
    if (keepFrom > lineStart)
        columnsBefore = columnAt(keepFrom) - 1; // the characters of the line moved out
    if (keepFrom > 0 && kept > 0)
        std::memmove(bytes, bytes + keepFrom, size_t(kept));
    pos -= keepFrom;
    lineStart = std::max<qsizetype>(lineStart - keepFrom, 0);
    countedTo = lineStart;
    countedCharacters = 0;
    size = kept;
    for (;;) {
        const qint64 got = device.read(bytes + size, buffer.size() - size);
        if (got > 0) {
            size += qsizetype(got);
            return true;
        }
        if (got < 0) {
            failOnDevice();
            return false;
        }
        // A pipe or a socket may have nothing yet; a file has ended.
        if (!(device.isSequential() && device.waitForReadyRead(-1))) {
            inputEnded = true;
            return false;
        }
    }
}

void ModelTokenizer::failOnDevice() {
    failure = Failure::Device;
    failureLine = currentLine;
    failureColumn = columnAt(pos);
    failureText = device.errorString();
}

void ModelTokenizer::skipByteOrderMark() {
    while (size - pos < 3) {
        if (!refill(pos))
            break;
    }
    if (size - pos >= 3 && std::memcmp(bytes + pos, "\xEF\xBB\xBF", 3) == 0) {
        pos += 3;
        startLine(pos);
    }
}

qint64 ModelTokenizer::columnAt(qsizetype position) {
    position = std::max(position, lineStart);
    if (position < countedTo) {
        countedTo = lineStart;
        countedCharacters = 0;
    }
    for (; countedTo < position; ++countedTo)
        countedCharacters += !isUtf8Continuation(uchar(bytes[countedTo]));
    return columnsBefore + 1 + countedCharacters;
}

// ---- Errors ------------------------------------------------------------------------------

void ModelTokenizer::failAt(qsizetype position, const QString &expected, const QString &found) {
    failWith(position, tr("expected %1, found %2").arg(expected, found));
}

void ModelTokenizer::failWith(qsizetype position, const QString &message, Failure kind) {
    if (failed())
        return;
    failure = kind;
    failureLine = currentLine;
    failureColumn = columnAt(position);
    failureText = message;
}

void ModelTokenizer::failAtPlace(qint64 line, qint64 column, const QString &message) {
    if (failed())
        return;
    failure = Failure::Syntax;
    failureLine = line;
    failureColumn = column;
    failureText = message;
}

QString ModelTokenizer::describeToken() const {
    switch (current.type) {
    case Token::Type::End:
        return tr("the end of the file");
    case Token::Type::NotUtf8:
        return describeByteAt(current.start);
    case Token::Type::Unclosed:
        return current.length == 0 ? tr("the end of the file") : tr("the end of the line");
    default:
        break;
    }
    QString text = QString::fromUtf8(tokenBytes());
    if (text.size() > LongestShownToken)
        text = text.left(LongestShownToken) + QChar(0x2026);
    return QStringLiteral("\"%1\"").arg(visibleText(text));
}

QString ModelTokenizer::describeByteAt(qsizetype position) const {
    const uchar c = uchar(bytes[position]);
    char32_t character = 0;
    const int length =
        decodeUtf8(reinterpret_cast<const uchar *>(bytes + position), size - position, character);
    if (length <= 0)
        return tr("the byte 0x%1, which is not UTF-8").arg(c, 2, 16, QLatin1Char('0'));
    return QStringLiteral("\"%1\"").arg(visibleText(QString::fromUtf8(bytes + position, length)));
}
