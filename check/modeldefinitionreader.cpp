// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionreader.h"

#include "modeltokenizer.h"

#include <QCoreApplication>

#include <cstring>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionReader", text);
}

constexpr int DeepestNesting = 256; // parentheses, bounds the parser's stack

qsizetype commonPrefixLength(QByteArrayView a, QByteArrayView b) {
    const qsizetype length = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i + 8 <= length) {
        quint64 x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y)
            break;
        i += 8;
    }
    while (i < length && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

// The items of the file, from the tokens: a state per place in the file's layout, and a
// recursive descent through the expressions.
class ModelDefinitionReader::Parser {
public:
    explicit Parser(QIODevice &device)
        : tokens(device) {}

    Item readNext();
    const ModelTokenizer &input() const { return tokens; }

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

    using Token = ModelTokenizer::Token;

    // Where a top-level "*" of a history's product ends, and how many steps come before it.
    // Consecutive histories of a written file share most of their product; reading resumes
    // from the last such point up to which the bytes are those of the previous product.
    struct Checkpoint {
        qsizetype offset;
        qsizetype steps;
    };

    // Tokens.
    void next() { tokens.next(); }
    const Token &token() const { return tokens.token(); }
    bool isPunctuation(char c) const { return tokens.isPunctuation(c); }
    qint64 line() const { return tokens.line(); }

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
    void keepUnchangedSymbols(qsizetype rowStart);
    bool readSymbol(qsizetype rowStart);
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
    bool failed() const { return tokens.failed(); }

    ModelTokenizer tokens;
    State state = State::Start;

    QByteArray symbolBytes;
    QList<qsizetype> symbolEnds;    // in symbolBytes
    QList<qsizetype> rawSymbolEnds; // from the start of the history in the file
    const char *viewedBytes = nullptr;

    qsizetype productStart = 0;
    qint64 productLine = 0;
    bool recordingCheckpoints = false;
    QList<Checkpoint> checkpoints;

    // The previous history's symbols (up to the "," after them) and product, which the next
    // history is compared with.
    ModelTokenizer::Span previousSymbols;
    ModelTokenizer::Span previousProduct;
};

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
        tokens.skipByteOrderMark();
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
    if (token().type != Token::Type::Name || tokens.tokenBytes() != QByteArrayView(keyword))
        return fail(QStringLiteral("\"%1\"").arg(QLatin1String(keyword)));
    itemLine = line();
    itemSection = section;
    state = following;
    return item = Item::Section;
}

// The name an item starts with; false, with the error set, when the next token is none.
bool ModelDefinitionReader::Parser::takeItemName(const QString &expected) {
    next();
    if (token().type != Token::Type::Name) {
        fail(expected);
        return false;
    }
    itemLine = line();
    itemName = token().name;
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
    if (token().type == Token::Type::Unclosed)
        return fail(tr("the closing \" of the title"));
    if (token().type != Token::Type::Quoted)
        return fail(tr("the title in double quotes, such as \"CJS Likelihood\""));
    itemLine = line();
    itemTitle = QString::fromUtf8(tokens.tokenBytes().sliced(1, token().length - 2));
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
    if (token().type != Token::Type::End)
        return fail(tr("the end of the file after the last history's \";\""));
    state = State::Finished;
    return item = Item::End;
}

// The symbols up to the "," after them. Where the history's first bytes are those of the
// previous history, the symbols they hold are kept and reading resumes after them.
bool ModelDefinitionReader::Parser::readSymbols() {
    if (!tokens.skipSpace()) {
        failAt(tokens.position(), tr("a history symbol"), tr("the end of the file"));
        return false;
    }
    itemLine = line();
    const qsizetype rowStart = tokens.position();
    const quint64 refillsBefore = tokens.refillCount();
    keepUnchangedSymbols(rowStart);
    for (;;) {
        if (!tokens.skipSpace()) {
            failAt(tokens.position(), tr("\",\" after the history's symbols"),
                   tr("the end of the file"));
            return false;
        }
        const qsizetype at = tokens.position();
        const char c = tokens.byteAt(at);
        if (c == ',' && !symbolEnds.isEmpty()) {
            tokens.moveTo(at + 1);
            break;
        }
        if (c == ',' || c == ';') {
            failAt(at,
                   symbolEnds.isEmpty() ? tr("a history symbol")
                                        : tr("\",\" after the history's symbols"),
                   tokens.describeByteAt(at));
            return false;
        }
        if (!readSymbol(rowStart))
            return false;
    }
    // Line breaks inside would be missed by the line count when the next history skips them.
    if (tokens.refillCount() == refillsBefore && line() == itemLine)
        previousSymbols = tokens.span(rowStart, tokens.position());
    else
        previousSymbols = {};
    updateSymbolViews();
    return true;
}

// Keeps the symbols that the bytes from rowStart repeat, and moves past them.
void ModelDefinitionReader::Parser::keepUnchangedSymbols(qsizetype rowStart) {
    keptSymbols = unchangedSymbolsAt(rowStart);
    symbolEnds.resize(keptSymbols);
    rawSymbolEnds.resize(keptSymbols);
    symbolBytes.resize(keptSymbols > 0 ? symbolEnds.constLast() : 0);
    if (keptSymbols > 0)
        tokens.moveTo(rowStart + rawSymbolEnds.constLast());
}

bool ModelDefinitionReader::Parser::readSymbol(qsizetype rowStart) {
    if (!tokens.nextSymbol())
        return false;
    if (token().type == Token::Type::NotUtf8) {
        failAt(token().start, tr("a history symbol in UTF-8"),
               tokens.describeByteAt(token().start));
        return false;
    }
    symbolBytes.append(tokens.tokenBytes());
    symbolEnds.append(symbolBytes.size());
    rawSymbolEnds.append(tokens.position() - rowStart);
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
    const QByteArrayView previous = tokens.bytesOf(previousSymbols);
    if (previous.isEmpty())
        return 0;
    const qsizetype same = commonPrefixLength(tokens.bytesFrom(rowStart), previous);
    qsizetype kept = 0;
    while (kept < rawSymbolEnds.size() && rawSymbolEnds.at(kept) < same)
        ++kept;
    return kept;
}

// The product, and the token after it. Where its first bytes are those of the previous
// product up to a checkpoint, the steps before that checkpoint are kept and reading resumes
// right after its "*".
bool ModelDefinitionReader::Parser::readProduct() {
    if (!tokens.skipSpace()) {
        next();
        fail(tr("a number, a name or \"(\""));
        return false;
    }
    productStart = tokens.position();
    productLine = line();
    const quint64 refillsBefore = tokens.refillCount();
    const qsizetype resumeAt = lastUnchangedCheckpoint(productStart);
    recordingCheckpoints = true;
    if (resumeAt >= 0) {
        const Checkpoint checkpoint = checkpoints.at(resumeAt);
        checkpoints.resize(resumeAt + 1);
        steps.resize(checkpoint.steps);
        unchanged = checkpoint.steps;
        tokens.moveTo(productStart + checkpoint.offset);
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
    if (tokens.refillCount() == refillsBefore) {
        previousProduct = tokens.span(productStart, token().start);
    } else {
        previousProduct = {};
        checkpoints.resize(0);
    }
    return true;
}

qsizetype ModelDefinitionReader::Parser::lastUnchangedCheckpoint(qsizetype start) const {
    const QByteArrayView previous = tokens.bytesOf(previousProduct);
    if (checkpoints.isEmpty() || previous.isEmpty())
        return -1;
    const qsizetype same = commonPrefixLength(tokens.bytesFrom(start), previous);
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
        if (multiply && depth == 0 && recordingCheckpoints && line() == productLine)
            checkpoints.append({tokens.position() - productStart, steps.size()});
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
    switch (token().type) {
    case Token::Type::Name:
        steps.append({ExpressionStep::Kind::Name, token().name, 0});
        next();
        return;
    case Token::Type::Number:
        steps.append({ExpressionStep::Kind::Number, -1, token().number});
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
    return failAt(token().start, expected, tokens.describeToken());
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::failAt(qsizetype position,
                                                                  const QString &expected,
                                                                  const QString &found) {
    tokens.failAt(position, expected, found);
    state = State::Finished;
    return item = Item::Error;
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
    return parser->input().names().count();
}
QString ModelDefinitionReader::nameText(int name) const {
    return QString::fromUtf8(parser->input().names().bytes(name));
}
bool ModelDefinitionReader::atEnd() const {
    return parser->input().atEnd();
}
ModelDefinitionReader::Error ModelDefinitionReader::error() const {
    switch (parser->input().failureKind()) {
    case ModelTokenizer::Failure::None:
        break;
    case ModelTokenizer::Failure::Syntax:
        return Error::Syntax;
    case ModelTokenizer::Failure::Device:
        return Error::Device;
    }
    return Error::None;
}
qint64 ModelDefinitionReader::errorLine() const {
    return parser->input().errorLine();
}
qint64 ModelDefinitionReader::errorColumn() const {
    return parser->input().errorColumn();
}
QString ModelDefinitionReader::errorString() const {
    return parser->input().errorString();
}
