// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionreader.h"

#include "modelnames.h"

#include <QCoreApplication>
#include <QIODevice>

#include <charconv>
#include <cstring>
#include <limits>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionReader", text);
}

constexpr qsizetype BlockSize = qsizetype(1) << 20;
constexpr qsizetype LongestToken = qsizetype(1) << 26; // 64 MiB: no model file has such a token
constexpr int DeepestNesting = 256;                    // parentheses, bounds the parser's stack
constexpr qsizetype LongestShownToken = 24;

bool isAsciiDigit(uchar c) {
    return c >= '0' && c <= '9';
}
bool isAsciiNameStart(uchar c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool isAsciiNamePart(uchar c) {
    return isAsciiNameStart(c) || isAsciiDigit(c);
}
bool isUtf8Continuation(uchar c) {
    return (c & 0xC0) == 0x80;
}
// What ends a history symbol: a space, a line break, or the "," or ";" after the symbols.
bool endsSymbol(uchar c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';';
}

// The code point that starts at p and the length of its UTF-8 sequence; 0 when the bytes are
// no UTF-8 (overlong forms and surrogates included), -1 when they end before the sequence does.
int decodeUtf8(const uchar *p, qsizetype available, char32_t &character) {
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

qsizetype commonPrefixLength(const char *a, const char *b, qsizetype length) {
    qsizetype i = 0;
    while (i + 8 <= length) {
        quint64 x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            break;
        i += 8;
    }
    while (i < length && a[i] == b[i])
        ++i;
    return i;
}

// The names of the file, each stored once, by id in the order of first appearance.
class NameTable {
public:
    static constexpr quint64 HashStart = 14695981039346656037ULL; // FNV-1a
    static quint64 hashStep(quint64 hash, uchar byte) { return (hash ^ byte) * 1099511628211ULL; }

    int intern(const char *bytes, qsizetype length, quint64 hash) {
        if (2 * (entries.size() + 1) > buckets.size())
            grow();
        const qsizetype mask = buckets.size() - 1;
        for (qsizetype slot = qsizetype(hash) & mask;; slot = (slot + 1) & mask) {
            const int id = buckets.at(slot);
            if (id < 0) {
                buckets[slot] = int(entries.size());
                entries.append({arena.size(), length, hash});
                arena.append(bytes, length);
                return buckets.at(slot);
            }
            const Entry &entry = entries.at(id);
            if (entry.hash == hash && entry.length == length
                && std::memcmp(arena.constData() + entry.offset, bytes, size_t(length)) == 0)
                return id;
        }
    }

    int count() const { return int(entries.size()); }
    QByteArrayView bytes(int id) const {
        const Entry &entry = entries.at(id);
        return QByteArrayView(arena.constData() + entry.offset, entry.length);
    }

private:
    struct Entry {
        qsizetype offset;
        qsizetype length;
        quint64 hash;
    };

    void grow() {
        const qsizetype size = buckets.isEmpty() ? 64 : 2 * buckets.size();
        buckets.fill(-1, size);
        for (int id = 0; id < entries.size(); ++id) {
            qsizetype slot = qsizetype(entries.at(id).hash) & (size - 1);
            while (buckets.at(slot) >= 0)
                slot = (slot + 1) & (size - 1);
            buckets[slot] = id;
        }
    }

    QByteArray arena;
    QList<Entry> entries;
    QList<int> buckets; // ids by hash, -1 where free; a power of two in size
};

} // namespace

class ModelDefinitionReader::Parser {
public:
    explicit Parser(QIODevice &device)
        : device(device)
        , buffer(BlockSize, Qt::Uninitialized)
        , bytes(buffer.data()) {}

    Item readNext();
    bool atEnd() const { return inputEnded; }

    // The item just read.
    Item item = Item::Error;
    qint64 itemLine = 0;
    Section itemSection = Section::Parameters;
    int itemName = -1;
    Expression steps;
    QString itemTitle;
    QList<QByteArrayView> symbolViews;
    qsizetype keptSymbols = 0;
    qsizetype unchanged = 0;

    NameTable names;

    Error error = Error::None;
    qint64 errorLine = 0;
    qint64 errorColumn = 0;
    QString errorString;

private:
    enum class State {
        Start,
        BeforeParameters,
        Parameters,
        BeforeVariables,
        Variables,
        BeforeLikelihood,
        Title,
        Histories,
        AfterLastHistory,
        Finished,
    };

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

    // Where a top-level "*" of a history's product ends, and how many steps come before it.
    // Consecutive histories of a written file share most of their product; reading resumes
    // from the last such point up to which the bytes are those of the previous product.
    struct Checkpoint {
        qsizetype offset;
        qsizetype steps;
    };

    enum class Scan { Done, NeedMore };
    enum class Walk { Stopped, NeedMore, NotUtf8 };

    // Input.
    bool refill(qsizetype keepFrom);
    bool skipSpace();
    void skipByteOrderMark();
    qint64 columnAt(qsizetype position) const;

    // Tokens.
    void next();
    Scan scanName(qsizetype start);
    Scan scanNumber(qsizetype start);
    Scan scanQuoted(qsizetype start);
    Scan scanSymbol(qsizetype start);
    template<class Ends> Walk walkText(qsizetype &i, Ends ends);
    void scanPunctuation(qsizetype start);
    bool isPunctuation(char c) const {
        return token.type == Token::Type::Punctuation && token.punctuation == c;
    }
    QByteArrayView tokenBytes() const { return QByteArrayView(bytes + token.start, token.length); }

    // Items.
    Item readItem();
    Item readSection(const char *keyword, Section section, State following);
    bool takeItemName(const QString &expected);
    Item endItem(Item kind, State afterLast, const QString &expected);
    Item readParameter();
    Item readVariable();
    Item readTitle();
    Item readHistory();
    Item readEnd();
    bool readSymbols();
    qsizetype unchangedSymbolsAt(qsizetype rowStart) const;
    bool readProduct();
    qsizetype lastUnchangedCheckpoint(qsizetype productStart) const;
    void updateSymbolViews();

    // Expressions, in postfix order into steps.
    void parseSum(int depth);
    void parseRestOfSum(int depth);
    void parseProduct(int depth);
    void parseRestOfProduct(int depth);
    void parseUnary(int depth);
    void parsePrimary(int depth);
    void appendStep(ExpressionStep::Kind kind) { steps.append({kind, -1, 0}); }

    // Errors.
    Item fail(const QString &expected);
    Item failAt(qsizetype position, const QString &expected, const QString &found);
    QString describeToken() const;
    QString describeByteAt(qsizetype position) const;
    bool failed() const { return error != Error::None; }

    QIODevice &device;
    State state = State::Start;

    QByteArray buffer;
    char *bytes;
    qsizetype size = 0;
    qsizetype pos = 0;
    bool inputEnded = false;
    quint64 refills = 0;

    qint64 line = 1;
    qsizetype lineStart = 0;  // where the current line starts in the buffer
    qint64 columnsBefore = 0; // characters of the current line no longer in the buffer

    Token token;

    QByteArray symbolBytes;
    QList<qsizetype> symbolEnds;    // in symbolBytes
    QList<qsizetype> rawSymbolEnds; // from the start of the history in the file
    const char *viewedBytes = nullptr;

    qsizetype productStart = 0;
    qint64 productLine = 0;
    bool recordingCheckpoints = false;
    QList<Checkpoint> checkpoints;

    // The previous history's symbols (up to the "," after them) and product, which the next
    // history is compared with, while no refill has moved them.
    struct Span {
        qsizetype start = 0;
        qsizetype length = 0;
        quint64 refills = 0;
    };
    QByteArrayView inBuffer(const Span &span) const {
        return span.refills == refills ? QByteArrayView(bytes + span.start, span.length)
                                       : QByteArrayView();
    }
    Span previousSymbols;
    Span previousProduct;
};

// ---- Input -------------------------------------------------------------------------------

// Keeps the bytes from keepFrom on, moved to the front of the buffer, and reads more after
// them. False at the end of the input or on a device error (which becomes the error).
bool ModelDefinitionReader::Parser::refill(qsizetype keepFrom) {
    if (inputEnded || failed())
        return false;
    ++refills;
    for (qsizetype i = lineStart; i < keepFrom; ++i)
        columnsBefore += !isUtf8Continuation(uchar(bytes[i]));
    const qsizetype kept = size - keepFrom;
    if (keepFrom > 0 && kept > 0)
        std::memmove(bytes, bytes + keepFrom, size_t(kept));
    pos -= keepFrom;
    lineStart = std::max<qsizetype>(lineStart - keepFrom, 0);
    size = kept;
    if (size == buffer.size()) {
        if (size >= LongestToken) {
            failAt(pos, tr("a token of at most 64 MiB"), tr("a longer one"));
            return false;
        }
        buffer.resize(2 * size);
        bytes = buffer.data();
    }
    for (;;) {
        const qint64 got = device.read(bytes + size, buffer.size() - size);
        if (got > 0) {
            size += qsizetype(got);
            return true;
        }
        if (got < 0) {
            error = Error::Device;
            errorLine = line;
            errorColumn = columnAt(pos);
            errorString = device.errorString();
            return false;
        }
        // A pipe or a socket may have nothing yet; a file has ended.
        if (!(device.isSequential() && device.waitForReadyRead(-1))) {
            inputEnded = true;
            return false;
        }
    }
}

// Moves past spaces and line breaks; false when the input ends first.
bool ModelDefinitionReader::Parser::skipSpace() {
    for (;;) {
        while (pos < size) {
            const char c = bytes[pos];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos;
            } else if (c == '\n') {
                ++pos;
                ++line;
                lineStart = pos;
                columnsBefore = 0;
            } else {
                return true;
            }
        }
        if (!refill(pos))
            return false;
    }
}

// Editors that save UTF-8 "with signature" put U+FEFF first; it does not belong to the text.
void ModelDefinitionReader::Parser::skipByteOrderMark() {
    while (size - pos < 3) {
        if (!refill(pos))
            break;
    }
    if (size - pos >= 3 && std::memcmp(bytes + pos, "\xEF\xBB\xBF", 3) == 0) {
        pos += 3;
        lineStart = pos;
    }
}

qint64 ModelDefinitionReader::Parser::columnAt(qsizetype position) const {
    qint64 column = columnsBefore + 1;
    for (qsizetype i = lineStart; i < position; ++i)
        column += !isUtf8Continuation(uchar(bytes[i]));
    return column;
}

// ---- Tokens ------------------------------------------------------------------------------

void ModelDefinitionReader::Parser::next() {
    if (!skipSpace()) {
        token = {Token::Type::End, pos, 0, 0, -1, 0};
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
            token = {Token::Type::End, pos, 0, 0, -1, 0};
            return;
        }
    }
}

void ModelDefinitionReader::Parser::scanPunctuation(qsizetype start) {
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
    token = {known ? Token::Type::Punctuation : Token::Type::Unexpected, start, 1, c, -1, 0};
    pos = start + 1;
}

ModelDefinitionReader::Parser::Scan ModelDefinitionReader::Parser::scanName(qsizetype start) {
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
            token = {Token::Type::NotUtf8, start, 1, 0, -1, 0};
            pos = start + 1;
            return Scan::Done;
        }
        if (length == 0 || !(i == start ? isNameStart(character) : isNamePart(character))) {
            if (i == start) {
                token = {Token::Type::Unexpected, start, length, 0, -1, 0};
                pos = start + length;
                return Scan::Done;
            }
            break;
        }
        for (int k = 0; k < length; ++k)
            hash = NameTable::hashStep(hash, uchar(bytes[i + k]));
        i += length;
    }
    token = {
        Token::Type::Name, start, i - start, 0, names.intern(bytes + start, i - start, hash), 0};
    pos = i;
    return Scan::Done;
}

// Digits with an optional fraction and exponent: 2, 0.5, .5, 5., 1e-3. An "e" without digits
// after it does not belong to the number.
ModelDefinitionReader::Parser::Scan ModelDefinitionReader::Parser::scanNumber(qsizetype start) {
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
        token = {Token::Type::Unexpected, start, 1, '.', -1, 0};
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
    token = {Token::Type::Number, start, end - start, 0, -1, value};
    pos = end;
    return Scan::Done;
}

// Walks UTF-8 text from `i` to an ASCII byte that `ends` it, or to the end of the input, and
// leaves `i` there. A byte that is not UTF-8 becomes a NotUtf8 token.
template<class Ends>
ModelDefinitionReader::Parser::Walk ModelDefinitionReader::Parser::walkText(qsizetype &i,
                                                                            Ends ends) {
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
            token = {Token::Type::NotUtf8, i, 1, 0, -1, 0};
            pos = i;
            return Walk::NotUtf8;
        }
        i += length;
    }
    return inputEnded ? Walk::Stopped : Walk::NeedMore;
}

// A text in double quotes on one line, in UTF-8.
ModelDefinitionReader::Parser::Scan ModelDefinitionReader::Parser::scanQuoted(qsizetype start) {
    qsizetype i = start + 1;
    const Walk walk = walkText(i, [](uchar c) { return c == '"' || c == '\n' || c == '\r'; });
    if (walk != Walk::Stopped)
        return walk == Walk::NeedMore ? Scan::NeedMore : Scan::Done;
    if (i < size && bytes[i] == '"') {
        token = {Token::Type::Quoted, start, i + 1 - start, 0, -1, 0};
        pos = i + 1;
    } else {
        token = {Token::Type::Unclosed, i, i < size ? 1 : 0, 0, -1, 0};
        pos = i;
    }
    return Scan::Done;
}

// A history symbol: any UTF-8 text up to a space, a line break, "," or ";".
ModelDefinitionReader::Parser::Scan ModelDefinitionReader::Parser::scanSymbol(qsizetype start) {
    qsizetype i = start;
    const Walk walk = walkText(i, endsSymbol);
    if (walk != Walk::Stopped)
        return walk == Walk::NeedMore ? Scan::NeedMore : Scan::Done;
    token = {Token::Type::Symbol, start, i - start, 0, -1, 0};
    pos = i;
    return Scan::Done;
}

// ---- Items -------------------------------------------------------------------------------

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readNext() {
    if (state == State::Finished)
        return item;
    item = readItem();
    if (failed()) { // a device error may come up anywhere, even in a well-formed item
        state = State::Finished;
        item = Item::Error;
    }
    return item;
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readItem() {
    switch (state) {
    case State::Start:
        skipByteOrderMark();
        state = State::BeforeParameters;
        return readItem();
    case State::BeforeParameters:
        return readSection("parameters", Section::Parameters, State::Parameters);
    case State::Parameters:
        return readParameter();
    case State::BeforeVariables:
        return readSection("variables", Section::Variables, State::Variables);
    case State::Variables:
        return readVariable();
    case State::BeforeLikelihood:
        return readSection("likelihood", Section::Likelihood, State::Title);
    case State::Title:
        return readTitle();
    case State::Histories:
        return readHistory();
    case State::AfterLastHistory:
        return readEnd();
    case State::Finished:
        break;
    }
    return item;
}

ModelDefinitionReader::Item
ModelDefinitionReader::Parser::readSection(const char *keyword, Section section, State following) {
    next();
    if (token.type != Token::Type::Name || tokenBytes() != QByteArrayView(keyword))
        return fail(QStringLiteral("\"%1\"").arg(QLatin1String(keyword)));
    itemLine = line;
    itemSection = section;
    state = following;
    return item = Item::Section;
}

// The name an item starts with; false, with the error set, when the next token is none.
bool ModelDefinitionReader::Parser::takeItemName(const QString &expected) {
    next();
    if (token.type != Token::Type::Name) {
        fail(expected);
        return false;
    }
    itemLine = line;
    itemName = token.name;
    return true;
}

// What ends an item: "," when another one of its section follows, ";" after the last.
ModelDefinitionReader::Item ModelDefinitionReader::Parser::endItem(Item kind, State afterLast,
                                                                   const QString &expected) {
    if (isPunctuation(';'))
        state = afterLast;
    else if (!isPunctuation(','))
        return fail(expected);
    return item = kind;
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readParameter() {
    if (!takeItemName(tr("a parameter name")))
        return item = Item::Error;
    next();
    return endItem(Item::Parameter, State::BeforeVariables,
                   tr("\",\" or \";\" after the parameter name"));
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readVariable() {
    if (!takeItemName(tr("a variable name")))
        return item = Item::Error;
    next();
    if (!isPunctuation('='))
        return fail(tr("\"=\" after the variable name"));
    steps.resize(0);
    next();
    parseSum(0);
    if (failed())
        return item = Item::Error;
    return endItem(Item::Variable, State::BeforeLikelihood,
                   tr("an operator, \",\" or \";\" after the definition"));
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readTitle() {
    next();
    if (token.type == Token::Type::Unclosed)
        return fail(tr("the closing \" of the title"));
    if (token.type != Token::Type::Quoted)
        return fail(tr("the title in double quotes, such as \"CJS Likelihood\""));
    itemLine = line;
    itemTitle = QString::fromUtf8(bytes + token.start + 1, token.length - 2);
    state = State::Histories;
    return item = Item::Title;
}

// Symbols, ",", the product, then "," when another history follows or ";" after the last.
ModelDefinitionReader::Item ModelDefinitionReader::Parser::readHistory() {
    if (!readSymbols() || !readProduct())
        return item = Item::Error;
    return endItem(Item::History, State::AfterLastHistory,
                   tr("an operator, \",\" or \";\" after the product"));
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readEnd() {
    next();
    if (failed())
        return item = Item::Error;
    if (token.type != Token::Type::End)
        return fail(tr("the end of the file after the last history's \";\""));
    state = State::Finished;
    return item = Item::End;
}

// The symbols up to the "," after them. Where the history's first bytes are those of the
// previous history, the symbols they hold are kept and reading resumes after them.
bool ModelDefinitionReader::Parser::readSymbols() {
    if (!skipSpace()) {
        failAt(pos, tr("a history symbol"), tr("the end of the file"));
        return false;
    }
    itemLine = line;
    const qsizetype rowStart = pos;
    const quint64 refillsBefore = refills;
    keptSymbols = unchangedSymbolsAt(rowStart);
    symbolEnds.resize(keptSymbols);
    rawSymbolEnds.resize(keptSymbols);
    symbolBytes.resize(keptSymbols > 0 ? symbolEnds.constLast() : 0);
    if (keptSymbols > 0)
        pos = rowStart + rawSymbolEnds.constLast();
    for (;;) {
        if (!skipSpace()) {
            failAt(pos, tr("\",\" after the history's symbols"), tr("the end of the file"));
            return false;
        }
        const char c = bytes[pos];
        if (c == ',' && !symbolEnds.isEmpty()) {
            ++pos;
            break;
        }
        if (c == ',' || c == ';') {
            failAt(pos,
                   symbolEnds.isEmpty() ? tr("a history symbol")
                                        : tr("\",\" after the history's symbols"),
                   describeByteAt(pos));
            return false;
        }
        while (scanSymbol(pos) == Scan::NeedMore) {
            if (!refill(pos) && failed())
                return false;
        }
        if (token.type == Token::Type::NotUtf8) {
            failAt(token.start, tr("a history symbol in UTF-8"), describeByteAt(token.start));
            return false;
        }
        symbolBytes.append(tokenBytes());
        symbolEnds.append(symbolBytes.size());
        rawSymbolEnds.append(pos - rowStart);
    }
    // Line breaks inside would be missed by the line count when the next history skips them.
    if (refills == refillsBefore && line == itemLine)
        previousSymbols = {rowStart, pos - rowStart, refills};
    else
        previousSymbols = {};
    updateSymbolViews();
    return true;
}

// The views of the kept symbols stay right while symbolBytes stays where it is.
void ModelDefinitionReader::Parser::updateSymbolViews() {
    if (symbolBytes.constData() != viewedBytes) {
        viewedBytes = symbolBytes.constData();
        symbolViews.resize(0);
    }
    symbolViews.resize(std::min(symbolViews.size(), keptSymbols));
    for (qsizetype i = symbolViews.size(); i < symbolEnds.size(); ++i) {
        const qsizetype begin = i > 0 ? symbolEnds.at(i - 1) : 0;
        symbolViews.append(QByteArrayView(viewedBytes + begin, symbolEnds.at(i) - begin));
    }
}

// How many symbols of the previous history, and the space after each, the bytes from
// rowStart on repeat.
qsizetype ModelDefinitionReader::Parser::unchangedSymbolsAt(qsizetype rowStart) const {
    const QByteArrayView previous = inBuffer(previousSymbols);
    if (previous.isEmpty())
        return 0;
    const qsizetype comparable = std::min(size - rowStart, previous.size());
    const qsizetype same = commonPrefixLength(bytes + rowStart, previous.data(), comparable);
    qsizetype kept = 0;
    while (kept < rawSymbolEnds.size() && rawSymbolEnds.at(kept) < same)
        ++kept;
    return kept;
}

// The product, and the token after it. Where its first bytes are those of the previous
// product up to a checkpoint, the steps before that checkpoint are kept and reading resumes
// right after its "*".
bool ModelDefinitionReader::Parser::readProduct() {
    if (!skipSpace()) {
        next();
        fail(tr("a number, a name or \"(\""));
        return false;
    }
    productStart = pos;
    productLine = line;
    const quint64 refillsBefore = refills;
    const qsizetype resumeAt = lastUnchangedCheckpoint(productStart);
    recordingCheckpoints = true;
    if (resumeAt >= 0) {
        const Checkpoint checkpoint = checkpoints.at(resumeAt);
        checkpoints.resize(resumeAt + 1);
        steps.resize(checkpoint.steps);
        unchanged = checkpoint.steps;
        pos = productStart + checkpoint.offset;
        next();
        parseUnary(0);
        appendStep(ExpressionStep::Kind::Multiply);
        parseRestOfProduct(0);
        recordingCheckpoints = false;
        parseRestOfSum(0);
    } else {
        checkpoints.resize(0);
        steps.resize(0);
        unchanged = 0;
        next();
        parseSum(0);
    }
    if (failed())
        return false;
    if (refills == refillsBefore) {
        previousProduct = {productStart, token.start - productStart, refills};
    } else {
        previousProduct = {};
        checkpoints.resize(0);
    }
    return true;
}

qsizetype ModelDefinitionReader::Parser::lastUnchangedCheckpoint(qsizetype start) const {
    const QByteArrayView previous = inBuffer(previousProduct);
    if (checkpoints.isEmpty() || previous.isEmpty())
        return -1;
    const qsizetype comparable = std::min(size - start, previous.size());
    const qsizetype same = commonPrefixLength(bytes + start, previous.data(), comparable);
    for (qsizetype i = checkpoints.size() - 1; i >= 0; --i) {
        if (checkpoints.at(i).offset <= same)
            return i;
    }
    return -1;
}

// ---- Expressions -------------------------------------------------------------------------
//
//   sum     = product { ("+" | "-") product }
//   product = unary { ("*" | "/") unary }
//   unary   = { "-" | "+" } primary
//   primary = number | name | "(" sum ")"

void ModelDefinitionReader::Parser::parseSum(int depth) {
    parseProduct(depth);
    if (depth == 0)
        recordingCheckpoints = false;
    parseRestOfSum(depth);
}

void ModelDefinitionReader::Parser::parseRestOfSum(int depth) {
    while (!failed() && (isPunctuation('+') || isPunctuation('-'))) {
        const auto kind =
            isPunctuation('+') ? ExpressionStep::Kind::Add : ExpressionStep::Kind::Subtract;
        next();
        parseProduct(depth);
        appendStep(kind);
    }
}

void ModelDefinitionReader::Parser::parseProduct(int depth) {
    parseUnary(depth);
    parseRestOfProduct(depth);
}

void ModelDefinitionReader::Parser::parseRestOfProduct(int depth) {
    while (!failed() && (isPunctuation('*') || isPunctuation('/'))) {
        const bool multiply = isPunctuation('*');
        // Only the first term at the top is a chain of factors to resume, and only on the
        // product's first line, so that the line count stays right.
        if (multiply && depth == 0 && recordingCheckpoints && line == productLine)
            checkpoints.append({pos - productStart, steps.size()});
        next();
        parseUnary(depth);
        appendStep(multiply ? ExpressionStep::Kind::Multiply : ExpressionStep::Kind::Divide);
    }
}

void ModelDefinitionReader::Parser::parseUnary(int depth) {
    bool negative = false;
    while (isPunctuation('-') || isPunctuation('+')) {
        negative ^= isPunctuation('-');
        next();
    }
    parsePrimary(depth);
    if (negative)
        appendStep(ExpressionStep::Kind::Negate);
}

void ModelDefinitionReader::Parser::parsePrimary(int depth) {
    if (failed())
        return;
    switch (token.type) {
    case Token::Type::Name:
        steps.append({ExpressionStep::Kind::Name, token.name, 0});
        next();
        return;
    case Token::Type::Number:
        steps.append({ExpressionStep::Kind::Number, -1, token.number});
        next();
        return;
    default:
        break;
    }
    if (!isPunctuation('(')) {
        fail(tr("a number, a name or \"(\""));
        return;
    }
    if (depth >= DeepestNesting) {
        fail(tr("at most %1 parentheses inside each other").arg(DeepestNesting));
        return;
    }
    next();
    parseSum(depth + 1);
    if (failed())
        return;
    if (!isPunctuation(')')) {
        fail(tr("an operator or \")\""));
        return;
    }
    next();
}

// ---- Errors ------------------------------------------------------------------------------

ModelDefinitionReader::Item ModelDefinitionReader::Parser::fail(const QString &expected) {
    return failAt(token.start, expected, describeToken());
}

// The first error stays: a device error found while looking for the next token wins over the
// syntax error that the missing token would make.
ModelDefinitionReader::Item ModelDefinitionReader::Parser::failAt(qsizetype position,
                                                                  const QString &expected,
                                                                  const QString &found) {
    if (!failed()) {
        error = Error::Syntax;
        errorLine = line;
        errorColumn = columnAt(position);
        errorString = tr("expected %1, found %2").arg(expected, found);
    }
    state = State::Finished;
    return item = Item::Error;
}

QString ModelDefinitionReader::Parser::describeToken() const {
    switch (token.type) {
    case Token::Type::End:
        return tr("the end of the file");
    case Token::Type::NotUtf8:
        return describeByteAt(token.start);
    case Token::Type::Unclosed:
        return token.length == 0 ? tr("the end of the file") : tr("the end of the line");
    default:
        break;
    }
    QString text = QString::fromUtf8(tokenBytes());
    if (text.size() > LongestShownToken)
        text = text.left(LongestShownToken) + QChar(0x2026);
    return QStringLiteral("\"%1\"").arg(visibleText(text));
}

QString ModelDefinitionReader::Parser::describeByteAt(qsizetype position) const {
    const uchar c = uchar(bytes[position]);
    char32_t character = 0;
    const int length =
        decodeUtf8(reinterpret_cast<const uchar *>(bytes + position), size - position, character);
    if (length <= 0)
        return tr("the byte 0x%1, which is not UTF-8").arg(c, 2, 16, QLatin1Char('0'));
    return QStringLiteral("\"%1\"").arg(visibleText(QString::fromUtf8(bytes + position, length)));
}

// ---- The reader --------------------------------------------------------------------------

ModelDefinitionReader::ModelDefinitionReader(QIODevice &device)
    : parser(std::make_unique<Parser>(device)) {}

ModelDefinitionReader::~ModelDefinitionReader() = default;

ModelDefinitionReader::Item ModelDefinitionReader::readNext() {
    return parser->readNext();
}

qint64 ModelDefinitionReader::line() const {
    return parser->itemLine;
}
ModelDefinitionReader::Section ModelDefinitionReader::section() const {
    return parser->itemSection;
}
int ModelDefinitionReader::name() const {
    return parser->itemName;
}
const Expression &ModelDefinitionReader::expression() const {
    return parser->steps;
}
QString ModelDefinitionReader::title() const {
    return parser->itemTitle;
}
const QList<QByteArrayView> &ModelDefinitionReader::symbols() const {
    return parser->symbolViews;
}
qsizetype ModelDefinitionReader::unchangedSteps() const {
    return parser->unchanged;
}
qsizetype ModelDefinitionReader::unchangedSymbols() const {
    return parser->keptSymbols;
}
int ModelDefinitionReader::nameCount() const {
    return parser->names.count();
}
QString ModelDefinitionReader::nameText(int name) const {
    return QString::fromUtf8(parser->names.bytes(name));
}
bool ModelDefinitionReader::atEnd() const {
    return parser->atEnd();
}
ModelDefinitionReader::Error ModelDefinitionReader::error() const {
    return parser->error;
}
qint64 ModelDefinitionReader::errorLine() const {
    return parser->errorLine;
}
qint64 ModelDefinitionReader::errorColumn() const {
    return parser->errorColumn;
}
QString ModelDefinitionReader::errorString() const {
    return parser->errorString;
}
