// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

class QIODevice;

// One step of an expression in postfix order, the order it is evaluated in: "s0*(1-p1)" is
// Name s0, Number 1, Name p1, Subtract, Multiply.
struct ExpressionStep {
    enum class Kind : quint8 { Number, Name, Negate, Add, Subtract, Multiply, Divide };

    Kind kind = Kind::Number;
    int name = -1;     // Name: the reader's id of the name
    double number = 0; // Number: its value
};

// Reads a model definition file item by item, the way QXmlStreamReader reads XML:
//
//   parameters                      Section (Parameters)
//   s0, p1, lambda;                 Parameter, one per name
//
//   variables                       Section (Variables)
//   X1 = 1 - lambda,                Variable: its name; its expression goes to the receiver
//   X0 = 1 - s0 + s0*(1-p1)*X1;
//
//   likelihood                      Section (Likelihood)
//   "CJS Likelihood"                Title
//   0 0, X0,                        History: its symbols and product go to the receiver
//   0 1, s0*(1-p1)*lambda;          End after the last history's ";"
//
// Spaces, tabs and line breaks (LF, CR LF or CR) may stand anywhere between two tokens, so an
// item may span lines and a line may hold several items. A history's symbols are the texts
// before its first ","; a symbol is any text without spaces, "," or ";". Names follow
// isModelName(). Expressions hold numbers (2, 0.5, 1e-3), names, + - * /, unary minus and
// parentheses. The text is UTF-8; a byte-order mark at the start is skipped. Each section
// holds at least one item.
//
// The device is read once, front to back, in blocks of 1 MiB. An item's symbols and steps are
// not collected: the receiver gets them as they are read, so memory stays that of one block
// and of the names met so far, whatever the size of the file or the length of a line.
// Reading stops at the first error.
class ModelDefinitionReader {
public:
    enum class Item { Section, Parameter, Variable, Title, History, End, Error };
    enum class Section { Parameters, Variables, Likelihood };
    // Limit: beyond what the reader keeps in memory (a token of 1 MiB, too many names).
    enum class Error { None, Syntax, Device, Limit };

    // Steps into a product further than this are read again for every history: consecutive
    // histories share only the first steps of a product that is not longer.
    static constexpr qsizetype ResumableSteps = 1024;
    // Likewise for the symbols of a history.
    static constexpr qsizetype ResumableSymbols = 64;

    // Gets the parts of a variable or history while they are read, before readNext() returns
    // the item. Positions are lines and columns (in characters), from 1.
    class Receiver {
    public:
        virtual ~Receiver() = default;
        // Its steps follow.
        virtual void beginVariable(int name, qint64 line, qint64 column) = 0;
        // The history's first `keptSymbols` symbols are those of the history before, which the
        // reader does not read again: consecutive histories mostly differ at the end only. Its
        // other symbols follow, then its product.
        virtual void beginHistory(qint64 line, qint64 column, qsizetype keptSymbols) = 0;
        virtual void historySymbol(QByteArrayView symbol, qint64 column) = 0;
        // The product's first `keptSteps` steps are those of the history before; the steps
        // after them follow. Only ever the steps up to a "*" of the previous product's first
        // line, at most ResumableSteps.
        virtual void beginProduct(qsizetype keptSteps) = 0;
        // The next steps of the variable's expression or the history's product.
        virtual void expressionSteps(const ExpressionStep *steps, qsizetype count) = 0;
    };

    explicit ModelDefinitionReader(QIODevice &device, Receiver *receiver = nullptr);
    ~ModelDefinitionReader();

    // Reads the next item; after End or Error, returns the same again.
    Item readNext();

    // What the item just read holds, until the next readNext().
    qint64 line() const;     // where the item starts, from 1
    qint64 column() const;   // likewise, in characters
    Section section() const; // Section
    int name() const;        // Parameter, Variable: the name's id
    QString title() const;   // Title, without the quotes

    // The names met so far; ids count from 0 in the order of their first appearance.
    int nameCount() const;
    QString nameText(int name) const;

    // Whether the device has been read to its end.
    bool atEnd() const;

    Error error() const;
    qint64 errorLine() const;
    qint64 errorColumn() const; // in characters, from 1
    // Syntax: what was expected and what was found instead; Device: the device's error string;
    // Limit: which limit, and why.
    QString errorString() const;

    ModelDefinitionReader(const ModelDefinitionReader &) = delete;
    ModelDefinitionReader &operator=(const ModelDefinitionReader &) = delete;

private:
    class Parser;
    std::unique_ptr<Parser> parser;
};
