// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionreader.h"

#include <QHash>
#include <QList>
#include <QString>

#include "modeldefinitioncheck.h"

class Findings;

// Every name used must be a declared parameter or a variable defined above its use, each
// declared or defined once, and every parameter used somewhere; two names that differ only in
// characters that look alike ("p1" and "р1" with a Cyrillic er) are worth a warning. A name "has a
// value" when the probabilities can be evaluated with it: a parameter, or a variable whose
// definition uses only names with values.
class NameCheck {
public:
    using Kind = ModelCheckFinding::Kind;

    struct Definition {
        bool givesValue; // the first definition of a name that is no parameter
        bool evaluable;  // everything it uses has a value
    };

    // The reader gives the names' texts for the findings.
    NameCheck(Findings &findings, const ModelDefinitionReader &reader);

    void makeRoomFor(int nameCount) {
        if (names.size() < nameCount)
            names.resize(nameCount);
    }

    // True for the first declaration of the name.
    bool declareParameter(int name, qint64 line, qint64 column);
    // A variable's steps come between these.
    void beginVariable(int name, qint64 line, qint64 column);
    Definition endVariable();
    // What the variables used but never defined is known once they all are.
    void closeVariables();
    // A history's steps come between these; the first `keptSteps` are the previous history's,
    // which were looked at then: whether one of them had no value is remembered.
    void beginProduct(qint64 line, qsizetype keptSteps);
    // Whether the history's product can be evaluated.
    bool endHistory();

    void useInExpression(const ExpressionStep *steps, qsizetype count);
    void finish();

private:
    enum class Role : quint8 { None, Parameter, Variable };
    struct Name {
        Role role = Role::None;
        bool used = false;
        bool hasValue = false;
        bool reported = false; // as undefined
        qint64 line = 0;       // of the declaration or definition
        qint64 column = 0;
        qint64 earlyUse = 0; // the first use before any definition, in the variables
    };
    struct Expression {
        bool inVariable = false;
        int variable = -1;
        qint64 line = 0;
        qint64 column = 0;
        bool usesItself = false;
        bool evaluable = true;
        qsizetype steps = 0;           // looked at so far
        qsizetype firstValueless = -1; // in a history's product
    };

    // Inline: called for the names of every history; defined in the .cpp, the only place that
    // calls it.
    inline bool use(int name, qint64 line);
    void reportUndefined(int name, qint64 line);
    // Compares a name just declared or defined with the earlier ones, through its confusable
    // skeleton: one look-up per name.
    void compareWithEarlierNames(int name);
    void reportRepeated(Kind kind, int name, qint64 line, qint64 column);
    QString text(int name) const;

    Findings &findings;
    const ModelDefinitionReader &reader;
    QList<Name> names;
    QHash<QString, int> firstWithSkeleton;
    bool inLikelihood = false;
    Expression current;
    qsizetype lastFirstValueless = -1;
};
