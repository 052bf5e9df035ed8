// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionparser.h"

#include <algorithm>
#include <cstring>

namespace {

using ReaderText::tr;

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
    if (token().type != Token::Type::Name || !isKeyword(keyword))
        return fail(QStringLiteral("\"%1\"").arg(QLatin1String(keyword)));
    itemLine = line();
    itemColumn = tokens.columnAt(token().start);
    itemSection = section;
    state = following;
    firstOfSection = true;
    return item = Item::Section;
}

bool ModelDefinitionReader::Parser::isKeyword(const char *keyword) const {
    return tokens.tokenBytes() == QByteArrayView(keyword);
}

// The name an item starts with; false, with the error set, when the next token is none.
bool ModelDefinitionReader::Parser::takeItemName(const QString &expected) {
    next();
    if (token().type != Token::Type::Name) {
        fail(expected);
        return false;
    }
    itemLine = line();
    itemColumn = tokens.columnAt(token().start);
    itemName = token().name;
    return true;
}

// What ends an item: "," when another one of its section follows, ";" after the last.
ModelDefinitionReader::Item ModelDefinitionReader::Parser::endItem(Item kind, State afterLast,
                                                                   const char *expected) {
    if (isPunctuation(';'))
        state = afterLast;
    else if (!isPunctuation(','))
        return fail(tr(expected));
    firstOfSection = false;
    return item = kind;
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readParameter() {
    if (!takeItemName(tr("a parameter name")))
        return item = Item::Error;
    // "variables" may name a parameter; followed by anything but "," or ";" it is the next
    // section's keyword.
    const bool variablesKeyword = firstOfSection && isKeyword("variables");
    next();
    if (variablesKeyword && !isPunctuation(',') && !isPunctuation(';')) {
        tokens.failAtPlace(itemLine, itemColumn,
                           tr("the parameters section is empty: expected at least one "
                              "parameter name before \"variables\""));
        return item = Item::Error;
    }
    return endItem(
        Item::Parameter, State::BeforeVariables,
        QT_TRANSLATE_NOOP("ModelDefinitionReader", "\",\" or \";\" after the parameter name"));
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readVariable() {
    if (!takeItemName(tr("a variable name")))
        return item = Item::Error;
    const bool likelihoodKeyword = firstOfSection && isKeyword("likelihood");
    next();
    if (!isPunctuation('=')) {
        if (likelihoodKeyword) {
            tokens.failAtPlace(itemLine, itemColumn,
                               tr("the variables section is empty: expected at least one "
                                  "definition, such as \"X1 = 1 - lambda\", before "
                                  "\"likelihood\""));
            return item = Item::Error;
        }
        return fail(tr("\"=\" after the variable name"));
    }
    if (receiver)
        receiver->beginVariable(itemName, itemLine, itemColumn);
    beginExpression(0);
    next();
    parseSum(0);
    endExpression();
    if (failed())
        return item = Item::Error;
    return endItem(Item::Variable, State::BeforeLikelihood,
                   QT_TRANSLATE_NOOP("ModelDefinitionReader",
                                     "an operator, \",\" or \";\" after the definition"));
}

ModelDefinitionReader::Item ModelDefinitionReader::Parser::readTitle() {
    next();
    if (token().type == Token::Type::Unclosed)
        return fail(tr("the closing \" of the title"));
    if (token().type != Token::Type::Quoted)
        return fail(tr("the title in double quotes, such as \"CJS Likelihood\""));
    itemLine = line();
    itemColumn = tokens.columnAt(token().start);
    itemTitle = QString::fromUtf8(tokens.tokenBytes().sliced(1, token().length - 2));
    state = State::Histories;
    firstOfSection = true;
    return item = Item::Title;
}

// Symbols, ",", the product, then "," when another history follows or ";" after the last.
ModelDefinitionReader::Item ModelDefinitionReader::Parser::readHistory() {
    if (!readSymbols() || !readProduct())
        return item = Item::Error;
    return endItem(Item::History, State::AfterLastHistory,
                   QT_TRANSLATE_NOOP("ModelDefinitionReader",
                                     "an operator, \",\" or \";\" after the product"));
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
        if (firstOfSection) {
            tokens.failWith(tokens.position(),
                            tr("the likelihood section is empty: expected at least one history "
                               "after the title"));
        } else {
            failAt(tokens.position(), tr("a history symbol"), tr("the end of the file"));
        }
        return false;
    }
    itemLine = line();
    const qsizetype rowStart = tokens.position();
    itemColumn = tokens.columnAt(rowStart);
    const quint64 refillsBefore = tokens.refillCount();
    const qsizetype kept = keepUnchangedSymbols(rowStart);
    if (receiver)
        receiver->beginHistory(itemLine, itemColumn, kept);
    for (;;) {
        if (!tokens.skipSpace()) {
            failAt(tokens.position(), tr("\",\" after the history's symbols"),
                   tr("the end of the file"));
            return false;
        }
        const qsizetype at = tokens.position();
        const char c = tokens.byteAt(at);
        if (c == ',' && symbolCount > 0) {
            tokens.moveTo(at + 1);
            break;
        }
        if (c == ',' || c == ';') {
            failAt(at,
                   symbolCount == 0 ? tr("a history symbol")
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
    return true;
}

// Keeps the symbols that the bytes from rowStart repeat, moves past them and tells how many.
qsizetype ModelDefinitionReader::Parser::keepUnchangedSymbols(qsizetype rowStart) {
    const qsizetype kept = unchangedSymbolsAt(rowStart);
    rawSymbolEnds.resize(kept);
    symbolCharacterEnds.resize(kept);
    symbolCount = kept;
    if (kept > 0) {
        tokens.moveTo(rowStart + rawSymbolEnds.constLast());
        tokens.noteColumn(tokens.position(), itemColumn + symbolCharacterEnds.constLast());
    }
    return kept;
}

bool ModelDefinitionReader::Parser::readSymbol(qsizetype rowStart) {
    if (!tokens.nextSymbol())
        return false;
    if (token().type == Token::Type::NotUtf8) {
        failAt(token().start, tr("a history symbol in UTF-8"),
               tokens.describeByteAt(token().start));
        return false;
    }
    if (receiver)
        receiver->historySymbol(tokens.tokenBytes(), tokens.columnAt(token().start));
    ++symbolCount;
    if (rawSymbolEnds.size() < ResumableSymbols && rawSymbolEnds.size() + 1 == symbolCount) {
        rawSymbolEnds.append(tokens.position() - rowStart);
        symbolCharacterEnds.append(tokens.columnAt(tokens.position()) - itemColumn);
    }
    return true;
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
        beginExpression(checkpoint.steps);
        if (receiver)
            receiver->beginProduct(checkpoint.steps);
        tokens.moveTo(productStart + checkpoint.offset);
        next();
        parseUnary(0);
        appendStep(ExpressionStep::Kind::Multiply);
        parseRestOfProduct(0);
        recordingCheckpoints = false;
        parseRestOfSum(0);
    } else {
        checkpoints.resize(0);
        beginExpression(0);
        if (receiver)
            receiver->beginProduct(0);
        next();
        parseSum(0);
    }
    endExpression();
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

void ModelDefinitionReader::Parser::beginExpression(qsizetype keptSteps) {
    bufferedSteps = 0;
    stepCount = keptSteps;
}

void ModelDefinitionReader::Parser::endExpression() {
    if (!failed())
        flushSteps();
}

// Once reading fails, the operators of the enclosing expressions come without their operands:
// the receiver gets only the steps before the error, a prefix of a well-formed expression.
void ModelDefinitionReader::Parser::appendStep(ExpressionStep::Kind kind, int name, double number) {
    if (failed())
        return;
    if (bufferedSteps == StepBatch)
        flushSteps();
    steps[bufferedSteps++] = {kind, name, number};
    ++stepCount;
}

void ModelDefinitionReader::Parser::flushSteps() {
    if (receiver && bufferedSteps > 0)
        receiver->expressionSteps(steps.data(), bufferedSteps);
    bufferedSteps = 0;
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
        // product's first line, so that the line count stays right; and only so far that the
        // receiver can keep what it made of the steps before.
        if (multiply && depth == 0 && recordingCheckpoints && line() == productLine
            && stepCount <= ResumableSteps)
            checkpoints.append({tokens.position() - productStart, stepCount});
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
        appendStep(ExpressionStep::Kind::Name, token().name);
        next();
        return;
    case Token::Type::Number:
        appendStep(ExpressionStep::Kind::Number, -1, token().number);
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
