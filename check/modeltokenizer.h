// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelnames.h"
#include "nametable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>

#include <charconv>
#include <limits>

class QIODevice;

// The reader's messages share one translation context, the tokenizer's and the parser's.
namespace ReaderText {
QString tr(const char *text);
}

// Cuts the bytes of a model definition file into tokens: names, numbers, quoted texts, history
// symbols and punctuation, and counts the lines they are on. Spaces, tabs and line breaks (LF,
// CR LF, or a lone CR as old Mac editors save) separate tokens; the text is UTF-8; a byte-order
// mark at the start is skipped.
//
// The device is read once, front to back, in blocks of 1 MiB into one buffer. A token that
// reaches the end of the buffer is kept: the bytes from its start are moved to the front and
// the next block is read behind them. A token as long as the buffer is refused (a limit, not a
// syntax error), so the buffer never grows and memory stays flat for lines of any length.
// Positions are offsets in the buffer; they hold the same bytes until the next refill, which
// refillCount() tells.
//
// The scanning loops are defined inline below: the parser runs them for every token.
class ModelTokenizer {
public:
    struct Token {
        enum class Type {
            End,
            Name,
            Number,
            Quoted,
            Symbol,
            Punctuation,
            Unexpected,
            NotUtf8,
            Unclosed,
        };
        Type type = Type::End;
        qsizetype start = 0; // in the buffer
        qsizetype length = 0;
        char punctuation = 0;
        int name = -1;
        double number = 0;
    };

    // Limit: the file may be sound, but goes beyond what the check reads (a token longer than
    // the buffer, too many names).
    enum class Failure { None, Syntax, Device, Limit };

    // Bytes of the buffer that are worth comparing with later ones while no refill has moved
    // them.
    struct Span {
        qsizetype start = 0;
        qsizetype length = 0;
        quint64 refills = 0;
    };

    explicit ModelTokenizer(QIODevice &device);

    // Editors that save UTF-8 "with signature" put U+FEFF first; it does not belong to the text.
    void skipByteOrderMark();
    // Moves past spaces and line breaks; false when the input ends first.
    bool skipSpace();
    // The next token, after any spaces and line breaks; End at the end of the input and on a
    // device error.
    void next();
    // The history symbol at the position, which skipSpace() found; false on a device error.
    bool nextSymbol();

    const Token &token() const { return current; }
    QByteArrayView tokenBytes() const {
        return QByteArrayView(bytes + current.start, current.length);
    }
    bool isPunctuation(char c) const {
        return current.type == Token::Type::Punctuation && current.punctuation == c;
    }
    const NameTable &names() const { return nameTable; }

    qsizetype position() const { return pos; }
    // Resumes at a later position on the current line: the bytes up to it have been read before.
    void moveTo(qsizetype position) { pos = position; }
    char byteAt(qsizetype position) const { return bytes[position]; }
    // The bytes from the position to the end of what has been read so far.
    QByteArrayView bytesFrom(qsizetype position) const {
        return QByteArrayView(bytes + position, size - position);
    }
    qint64 line() const { return currentLine; }
    quint64 refillCount() const { return refills; }
    bool atEnd() const { return inputEnded; }

    Span span(qsizetype start, qsizetype end) const { return {start, end - start, refills}; }
    // The span's bytes, or none once a refill has moved them.
    QByteArrayView bytesOf(const Span &span) const {
        return span.refills == refills ? QByteArrayView(bytes + span.start, span.length)
                                       : QByteArrayView();
    }

    // A syntax error at the position: "expected ..., found ...". The first error stays, so a
    // device error met while looking for a token wins over the syntax error its lack makes.
    void failAt(qsizetype position, const QString &expected, const QString &found);
    // An error at the position in words of its own.
    void failWith(qsizetype position, const QString &message, Failure kind = Failure::Syntax);
    // The same at a place read before, on this line or an earlier one.
    void failAtPlace(qint64 line, qint64 column, const QString &message);
    bool failed() const { return failure != Failure::None; }
    Failure failureKind() const { return failure; }
    qint64 errorLine() const { return failureLine; }
    qint64 errorColumn() const { return failureColumn; } // in characters, from 1
    QString errorString() const { return failureText; }

    // The column of a position on the current line, in characters from 1. Cheap for positions
    // that only move forward along the line, as a parser's do: the count goes on from the last
    // position asked for, so a line of any length is counted once.
    qint64 columnAt(qsizetype position);
    // The column at a position further on this line is known (the bytes up to it are those of
    // a line read before): counting goes on from there.
    void noteColumn(qsizetype position, qint64 column) {
        countedTo = position;
        countedCharacters = column - 1 - columnsBefore;
    }

    // For the "found ..." of an error.
    QString describeToken() const;
    QString describeByteAt(qsizetype position) const;

private:
    enum class Scan { Done, NeedMore };
    enum class Walk { Stopped, NeedMore, NotUtf8 };

    static bool isAsciiDigit(uchar c) { return c >= '0' && c <= '9'; }
    static bool isAsciiNameStart(uchar c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    }
    static bool isAsciiNamePart(uchar c) { return isAsciiNameStart(c) || isAsciiDigit(c); }
    static bool isUtf8Continuation(uchar c) { return (c & 0xC0) == 0x80; }
    // What ends a history symbol: a space, a line break, or the "," or ";" after the symbols.
    static bool endsSymbol(uchar c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';';
    }
    static int decodeUtf8(const uchar *p, qsizetype available, char32_t &character);

    bool refill(qsizetype keepFrom);
    void failOnDevice();
    void startLine(qsizetype at);

    Scan scanName(qsizetype start);
    Scan scanNumber(qsizetype start);
    Scan scanQuoted(qsizetype start);
    Scan scanSymbol(qsizetype start);
    template<class Ends> Walk walkText(qsizetype &i, Ends ends);
    void scanPunctuation(qsizetype start);

    QIODevice &device;
    QByteArray buffer;
    char *bytes;
    qsizetype size = 0;
    qsizetype pos = 0;
    bool inputEnded = false;
    quint64 refills = 0;

    qint64 currentLine = 1;
    qsizetype lineStart = 0;  // where the current line starts in the buffer
    qint64 columnsBefore = 0; // characters of the current line no longer in the buffer
    qsizetype countedTo = 0;  // characters from lineStart to here are counted in countedCharacters
    qint64 countedCharacters = 0;

    Token current;
    NameTable nameTable;

    Failure failure = Failure::None;
    qint64 failureLine = 0;
    qint64 failureColumn = 0;
    QString failureText;
};

// ---- The scanning loops --------------------------------------------------------------------

// The code point that starts at p and the length of its UTF-8 sequence; 0 when the bytes are
// no UTF-8 (overlong forms and surrogates included), -1 when they end before the sequence does.
inline int ModelTokenizer::decodeUtf8(const uchar *p, qsizetype available, char32_t &character) {
    const uchar lead = p[0];
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead < 0x80) {
        character = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        character = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        character = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        character = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (i >= available)
            return -1;
        const uchar c = p[i];
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF))
            return 0;
        character = (character << 6) | (c & 0x3F);
    }
    return length;
}

inline void ModelTokenizer::startLine(qsizetype at) {
    lineStart = at;
    columnsBefore = 0;
    countedTo = at;
    countedCharacters = 0;
}

// A CR ends a line; an LF ends one too, unless it comes right after a CR (CR LF is one line end).
// Only this loop steps over line breaks, so whether the byte before was a CR is its own to know.
inline bool ModelTokenizer::skipSpace() {
    bool afterCarriageReturn = false;
    for (;;) {
        while (pos < size) {
            const char c = bytes[pos];
            if (c == ' ' || c == '\t') {
                ++pos;
                afterCarriageReturn = false;
            } else if (c == '\n' || c == '\r') {
                ++pos;
                if (!(c == '\n' && afterCarriageReturn))
                    ++currentLine;
                startLine(pos);
                afterCarriageReturn = c == '\r';
            } else {
                return true;
            }
        }
        if (!refill(pos))
            return false;
    }
}

inline void ModelTokenizer::next() {
    if (!skipSpace()) {
        current = {Token::Type::End, pos, 0, 0, -1, 0};
        return;
    }
    for (;;) {
        const uchar c = uchar(bytes[pos]);
        Scan scan = Scan::Done;
        if (isAsciiNameStart(c) || c >= 0x80)
            scan = scanName(pos);
        else if (isAsciiDigit(c) || c == '.')
            scan = scanNumber(pos);
        else if (c == '"')
            scan = scanQuoted(pos);
        else
            scanPunctuation(pos);
        if (scan == Scan::Done)
            return;
        // The token reaches the end of the buffer and may go on in the next block; once the
        // input has ended, the scan ends the token there.
        if (!refill(pos) && failed()) {
            current = {Token::Type::End, pos, 0, 0, -1, 0};
            return;
        }
    }
}

inline bool ModelTokenizer::nextSymbol() {
    while (scanSymbol(pos) == Scan::NeedMore) {
        if (!refill(pos) && failed())
            return false;
    }
    return true;
}

inline void ModelTokenizer::scanPunctuation(qsizetype start) {
    const char c = bytes[start];
    bool known = false;
    switch (c) {
    case ',':
    case ';':
    case '=':
    case '+':
    case '-':
    case '*':
    case '/':
    case '(':
    case ')':
        known = true;
        break;
    default:
        break;
    }
    current = {known ? Token::Type::Punctuation : Token::Type::Unexpected, start, 1, c, -1, 0};
    pos = start + 1;
}

inline ModelTokenizer::Scan ModelTokenizer::scanName(qsizetype start) {
    quint64 hash = NameTable::HashStart;
    qsizetype i = start;
    for (;;) {
        if (i == size) {
            if (!inputEnded)
                return Scan::NeedMore;
            break;
        }
        const uchar c = uchar(bytes[i]);
        if (c < 0x80) {
            if (!(i == start ? isAsciiNameStart(c) : isAsciiNamePart(c)))
                break;
            hash = NameTable::hashStep(hash, c);
            ++i;
            continue;
        }
        char32_t character = 0;
        int length = decodeUtf8(reinterpret_cast<const uchar *>(bytes + i), size - i, character);
        if (length < 0) {
            if (!inputEnded)
                return Scan::NeedMore;
            length = 0;
        }
        if (length == 0 && i == start) {
            current = {Token::Type::NotUtf8, start, 1, 0, -1, 0};
            pos = start + 1;
            return Scan::Done;
        }
        if (length == 0 || !(i == start ? isNameStart(character) : isNamePart(character))) {
            if (i == start) {
                current = {Token::Type::Unexpected, start, length, 0, -1, 0};
                pos = start + length;
                return Scan::Done;
            }
            break;
        }
        for (int k = 0; k < length; ++k)
            hash = NameTable::hashStep(hash, uchar(bytes[i + k]));
        i += length;
    }
    const int name = nameTable.intern(bytes + start, i - start, hash);
    if (name < 0) {
        failWith(start,
                 QCoreApplication::translate(
                     "ModelDefinitionReader",
                     "the file has more than %1 different names, or more than %2 MiB of them: "
                     "more than the check keeps in memory, and far more than a model has")
                     .arg(NameTable::MaxNames)
                     .arg(NameTable::MaxTotalBytes >> 20),
                 Failure::Limit);
        current = {Token::Type::End, start, 0, 0, -1, 0};
        pos = start;
        return Scan::Done;
    }
    current = {Token::Type::Name, start, i - start, 0, name, 0};
    pos = i;
    return Scan::Done;
}

// Digits with an optional fraction and exponent: 2, 0.5, .5, 5., 1e-3. An "e" without digits
// after it does not belong to the number.
inline ModelTokenizer::Scan ModelTokenizer::scanNumber(qsizetype start) {
    const auto digitsFrom = [&](qsizetype from) {
        while (from < size && isAsciiDigit(uchar(bytes[from])))
            ++from;
        return from;
    };
    qsizetype end = digitsFrom(start);
    qsizetype digits = end - start;
    if (end < size && bytes[end] == '.') {
        const qsizetype fractionEnd = digitsFrom(end + 1);
        digits += fractionEnd - end - 1;
        end = fractionEnd;
    }
    if (size - end < 3 && !inputEnded)
        return Scan::NeedMore; // "e", a sign and a digit tell whether an exponent follows
    if (digits == 0) {
        current = {Token::Type::Unexpected, start, 1, '.', -1, 0};
        pos = start + 1;
        return Scan::Done;
    }
    bool negativeExponent = false;
    if (end < size && (bytes[end] == 'e' || bytes[end] == 'E')) {
        qsizetype exponentStart = end + 1;
        if (exponentStart < size && (bytes[exponentStart] == '+' || bytes[exponentStart] == '-')) {
            negativeExponent = bytes[exponentStart] == '-';
            ++exponentStart;
        }
        const qsizetype exponentEnd = digitsFrom(exponentStart);
        if (exponentEnd == size && !inputEnded)
            return Scan::NeedMore;
        if (exponentEnd > exponentStart)
            end = exponentEnd;
        else
            negativeExponent = false;
    }
    if (end == size && !inputEnded)
        return Scan::NeedMore;
    double value = 0;
    if (std::from_chars(bytes + start, bytes + end, value).ec == std::errc::result_out_of_range)
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    current = {Token::Type::Number, start, end - start, 0, -1, value};
    pos = end;
    return Scan::Done;
}

// Walks UTF-8 text from `i` to an ASCII byte that `ends` it, or to the end of the input, and
// leaves `i` there. A byte that is not UTF-8 becomes a NotUtf8 token.
template<class Ends> inline ModelTokenizer::Walk ModelTokenizer::walkText(qsizetype &i, Ends ends) {
    while (i < size) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x80) {
            if (ends(c))
                return Walk::Stopped;
            ++i;
            continue;
        }
        char32_t character = 0;
        const int length =
            decodeUtf8(reinterpret_cast<const uchar *>(bytes + i), size - i, character);
        if (length < 0 && !inputEnded)
            return Walk::NeedMore;
        if (length <= 0) {
            current = {Token::Type::NotUtf8, i, 1, 0, -1, 0};
            pos = i;
            return Walk::NotUtf8;
        }
        i += length;
    }
    return inputEnded ? Walk::Stopped : Walk::NeedMore;
}

// A text in double quotes on one line, in UTF-8.
inline ModelTokenizer::Scan ModelTokenizer::scanQuoted(qsizetype start) {
    qsizetype i = start + 1;
    const Walk walk = walkText(i, [](uchar c) { return c == '"' || c == '\n' || c == '\r'; });
    if (walk != Walk::Stopped)
        return walk == Walk::NeedMore ? Scan::NeedMore : Scan::Done;
    if (i < size && bytes[i] == '"') {
        current = {Token::Type::Quoted, start, i + 1 - start, 0, -1, 0};
        pos = i + 1;
    } else {
        current = {Token::Type::Unclosed, i, i < size ? 1 : 0, 0, -1, 0};
        pos = i;
    }
    return Scan::Done;
}

// A history symbol: any UTF-8 text up to a space, a line break, "," or ";".
inline ModelTokenizer::Scan ModelTokenizer::scanSymbol(qsizetype start) {
    qsizetype i = start;
    const Walk walk = walkText(i, endsSymbol);
    if (walk != Walk::Stopped)
        return walk == Walk::NeedMore ? Scan::NeedMore : Scan::Done;
    current = {Token::Type::Symbol, start, i - start, 0, -1, 0};
    pos = i;
    return Scan::Done;
}
