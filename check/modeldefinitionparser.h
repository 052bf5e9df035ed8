// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionreader.h"
#include "modeltokenizer.h"

#include <QList>
#include <QString>

#include <array>

// The items of the file, from the tokens: a state per place in the file's layout, and a
// recursive descent through the expressions.
class ModelDefinitionReader::Parser {
public:
    Parser(QIODevice &device, Receiver *receiver)
        : tokens(device)
        , receiver(receiver) {}

    Item readNext();
    const ModelTokenizer &input() const { return tokens; }

    // The item just read.
    Item item = Item::Error;
    qint64 itemLine = 0;
    qint64 itemColumn = 0;
    Section itemSection = Section::Parameters;
    int itemName = -1;
    QString itemTitle;

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

    // Steps go to the receiver in batches of this many.
    static constexpr qsizetype StepBatch = 256;

    // Tokens.
    void next() { tokens.next(); }
    const Token &token() const { return tokens.token(); }
    bool isPunctuation(char c) const { return tokens.isPunctuation(c); }
    qint64 line() const { return tokens.line(); }

    // Items.
    Item readItem();
    Item readSection(const char *keyword, Section section, State following);
    bool takeItemName(const QString &expected);
    // `expected` is translated only when it is needed: this runs for every item.
    Item endItem(Item kind, State afterLast, const char *expected);
    bool isKeyword(const char *keyword) const;
    Item readParameter();
    Item readVariable();
    Item readTitle();
    Item readHistory();
    Item readEnd();
    bool readSymbols();
    qsizetype keepUnchangedSymbols(qsizetype rowStart);
    bool readSymbol(qsizetype rowStart);
    qsizetype unchangedSymbolsAt(qsizetype rowStart) const;
    bool readProduct();
    qsizetype lastUnchangedCheckpoint(qsizetype productStart) const;

    // Expressions, in postfix order to the receiver.
    void beginExpression(qsizetype keptSteps);
    void endExpression();
    void parseSum(int depth);
    void parseRestOfSum(int depth);
    void parseProduct(int depth);
    void parseRestOfProduct(int depth);
    void parseUnary(int depth);
    void parsePrimary(int depth);
    void appendStep(ExpressionStep::Kind kind, int name = -1, double number = 0);
    void flushSteps();

    // Errors.
    Item fail(const QString &expected);
    Item failAt(qsizetype position, const QString &expected, const QString &found);
    bool failed() const { return tokens.failed(); }

    ModelTokenizer tokens;
    Receiver *receiver;
    State state = State::Start;
    bool firstOfSection = true;

    // Where the symbols of the history read last end, from its start in the file, in bytes
    // and in characters, for the first ResumableSymbols of them.
    QList<qsizetype> rawSymbolEnds;
    QList<qint64> symbolCharacterEnds;
    qsizetype symbolCount = 0;

    std::array<ExpressionStep, StepBatch> steps; // not yet handed to the receiver
    qsizetype bufferedSteps = 0;
    qsizetype stepCount = 0; // in the expression so far
    qsizetype productStart = 0;
    qint64 productLine = 0;
    bool recordingCheckpoints = false;
    QList<Checkpoint> checkpoints;

    // The previous history's symbols (up to the "," after them) and product, which the next
    // history is compared with.
    ModelTokenizer::Span previousSymbols;
    ModelTokenizer::Span previousProduct;
};
