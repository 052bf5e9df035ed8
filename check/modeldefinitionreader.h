// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
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
using Expression = QList<ExpressionStep>;

// Reads a model definition file item by item, the way QXmlStreamReader reads XML:
//
//   parameters                      Section (Parameters)
//   s0, p1, lambda;                 Parameter, one per name
//
//   variables                       Section (Variables)
//   X1 = 1 - lambda,                Variable: its name and its expression
//   X0 = 1 - s0 + s0*(1-p1)*X1;
//
//   likelihood                      Section (Likelihood)
//   "CJS Likelihood"                Title
//   0 0, X0,                        History: its symbols and the product, its cell
//   0 1, s0*(1-p1)*lambda;          End after the last history's ";"
//
// Spaces, tabs and line breaks (LF or CR LF) may stand anywhere between two tokens, so an item
// may span lines and a line may hold several items. A history's symbols are the texts before
// its first ","; a symbol is any text without spaces, "," or ";". Names follow isModelName().
// Expressions hold numbers (2, 0.5, 1e-3), names, + - * /, unary minus and parentheses. The
// text is UTF-8; a byte-order mark at the start is skipped.
//
// The device is read once, front to back, in blocks of 1 MiB: memory stays that of one block
// (or of the longest token) and of the names met so far, whatever the size of the file.
// Reading stops at the first error.
class ModelDefinitionReader {
public:
    enum class Item { Section, Parameter, Variable, Title, History, End, Error };
    enum class Section { Parameters, Variables, Likelihood };
    enum class Error { None, Syntax, Device };

    explicit ModelDefinitionReader(QIODevice &device);
    ~ModelDefinitionReader();

    // Reads the next item; after End or Error, returns the same again.
    Item readNext();

    // What the item just read holds. Views and references stay valid until the next readNext().
    qint64 line() const;                          // where the item starts, from 1
    Section section() const;                      // Section
    int name() const;                             // Parameter, Variable: the name's id
    const Expression &expression() const;         // Variable, History
    QString title() const;                        // Title, without the quotes
    const QList<QByteArrayView> &symbols() const; // History, in UTF-8

    // How many symbols, and steps of the expression, at the front of this history are those
    // of the previous history: consecutive histories mostly differ at the end only, and the
    // reader reads again only what follows. Lets the checks resume where the rows differ.
    qsizetype unchangedSymbols() const;
    qsizetype unchangedSteps() const;

    // The names met so far; ids count from 0 in the order of their first appearance.
    int nameCount() const;
    QString nameText(int name) const;

    // Whether the device has been read to its end.
    bool atEnd() const;

    Error error() const;
    qint64 errorLine() const;
    qint64 errorColumn() const; // in characters, from 1
    // Syntax: what was expected and what was found instead; Device: the device's error string.
    QString errorString() const;

    ModelDefinitionReader(const ModelDefinitionReader &) = delete;
    ModelDefinitionReader &operator=(const ModelDefinitionReader &) = delete;

private:
    class Parser;
    std::unique_ptr<Parser> parser;
};
