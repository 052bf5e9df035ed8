// SPDX-License-Identifier: GPL-3.0-or-later
#include "namecheck.h"

#include "findings.h"
#include "modelnames.h"

using CheckText::tr;

NameCheck::NameCheck(Findings &findings, const ModelDefinitionReader &reader)
    : findings(findings)
    , reader(reader) {}

bool NameCheck::use(int name, qint64 line) {
    Name &used = names[name];
    used.used = true;
    if (used.role != Role::None)
        return used.hasValue;
    if (!inLikelihood) {
        if (used.earlyUse == 0)
            used.earlyUse = line;
    } else if (!used.reported) {
        used.reported = true;
        reportUndefined(name, line);
    }
    return false;
}

bool NameCheck::declareParameter(int name, qint64 line, qint64 column) {
    Name &parameter = names[name];
    if (parameter.role == Role::Parameter) {
        reportRepeated(Kind::ParameterDeclaredTwice, name, line, column);
        return false;
    }
    parameter = {Role::Parameter, false, true, false, line, column, 0};
    compareWithEarlierNames(name);
    return true;
}

void NameCheck::beginVariable(int name, qint64 line, qint64 column) {
    current = {};
    current.inVariable = true;
    current.variable = name;
    current.line = line;
    current.column = column;
}

void NameCheck::useInExpression(const ExpressionStep *steps, qsizetype count) {
    for (qsizetype i = 0; i < count; ++i, ++current.steps) {
        const ExpressionStep &step = steps[i];
        if (step.kind != ExpressionStep::Kind::Name)
            continue;
        if (current.inVariable) {
            if (step.name == current.variable && names.at(step.name).role == Role::None)
                current.usesItself = true;
            else
                current.evaluable &= use(step.name, current.line);
        } else if (!use(step.name, current.line) && current.firstValueless < 0) {
            current.firstValueless = current.steps;
        }
    }
}

NameCheck::Definition NameCheck::endVariable() {
    const int name = current.variable;
    Name &variable = names[name];
    if (variable.role == Role::Parameter) {
        findings.add(Kind::ParameterDefinedAsVariable, current.line,
                     tr("%1 is defined as a variable, but it is a parameter declared on "
                        "line %2.")
                         .arg(text(name))
                         .arg(variable.line),
                     current.column);
        return {false, false};
    }
    if (variable.role == Role::Variable) {
        reportRepeated(Kind::VariableDefinedTwice, name, current.line, current.column);
        return {false, false};
    }
    if (current.usesItself) {
        findings.add(Kind::VariableDefinedByItself, current.line,
                     tr("the variable %1 is defined in terms of itself.").arg(text(name)),
                     current.column);
    }
    if (variable.earlyUse > 0) {
        findings.add(Kind::VariableUsedEarly, variable.earlyUse,
                     tr("the variable %1 is used here, above its definition on line %2; a "
                        "variable can only use the variables defined above it.")
                         .arg(text(name))
                         .arg(current.line));
    }
    const bool evaluable = current.evaluable && !current.usesItself;
    const bool usedEarly = variable.earlyUse > 0;
    variable = {Role::Variable, usedEarly, evaluable, false, current.line, current.column, 0};
    compareWithEarlierNames(name);
    return {true, evaluable};
}

void NameCheck::closeVariables() {
    inLikelihood = true;
    for (int name = 0; name < names.size(); ++name) {
        Name &unknown = names[name];
        if (unknown.role == Role::None && unknown.earlyUse > 0) {
            reportUndefined(name, unknown.earlyUse);
            unknown.reported = true;
        }
    }
}

void NameCheck::beginProduct(qint64 line, qsizetype keptSteps) {
    current = {};
    current.line = line;
    current.steps = keptSteps;
    if (lastFirstValueless >= 0 && lastFirstValueless < keptSteps)
        current.firstValueless = lastFirstValueless;
}

bool NameCheck::endHistory() {
    lastFirstValueless = current.firstValueless;
    return current.firstValueless < 0;
}

void NameCheck::finish() {
    for (int name = 0; name < names.size(); ++name) {
        const Name &parameter = names.at(name);
        if (parameter.role == Role::Parameter && !parameter.used) {
            findings.add(Kind::ParameterUnused, parameter.line,
                         tr("the parameter %1 is declared but used nowhere.").arg(text(name)));
        }
    }
}

void NameCheck::compareWithEarlierNames(int name) {
    const QString spelled = reader.nameText(name);
    const QString skeleton = confusableSkeleton(spelled);
    const auto found = firstWithSkeleton.constFind(skeleton);
    if (found == firstWithSkeleton.cend()) {
        firstWithSkeleton.insert(skeleton, name);
        return;
    }
    const int earlier = *found;
    const Name &first = names.at(earlier);
    const Name &second = names.at(name);
    char32_t inSecond = 0, inFirst = 0;
    firstDifference(spelled, reader.nameText(earlier), inSecond, inFirst);
    const QString character =
        tr("\"%1\" is %2")
            .arg(visibleText(QString::fromUcs4(&inSecond, 1)), describeCharacter(inSecond));
    const QString otherCharacter =
        tr("\"%1\" is %2")
            .arg(visibleText(QString::fromUcs4(&inFirst, 1)), describeCharacter(inFirst));
    const QString secondText = second.role == Role::Parameter
                                   ? tr("the parameter %1").arg(text(name))
                                   : tr("the variable %1").arg(text(name));
    const QString firstText = first.role == Role::Parameter
                                  ? tr("the parameter %1, declared on line %2")
                                  : tr("the variable %1, defined on line %2");
    findings.add(Kind::NamesReadAlike, second.line,
                 tr("%1 reads like %2: the names differ only in characters that look alike "
                    "(%3, %4).")
                     .arg(secondText, firstText.arg(text(earlier)).arg(first.line), character,
                          otherCharacter));
}

void NameCheck::reportUndefined(int name, qint64 line) {
    findings.add(Kind::UndefinedName, line,
                 tr("%1 is neither a declared parameter nor a variable defined in the file.")
                     .arg(text(name)));
}

// A second declaration or definition, at its own place, naming the first.
void NameCheck::reportRepeated(Kind kind, int name, qint64 line, qint64 column) {
    const Name &first = names.at(name);
    const QString message =
        kind == Kind::ParameterDeclaredTwice
            ? tr("the parameter %1 is declared again; its first declaration is on line %2, "
                 "column %3.")
            : tr("the variable %1 is defined again; its first definition is on line %2, "
                 "column %3.");
    findings.add(kind, line, message.arg(text(name)).arg(first.line).arg(first.column), column);
}

QString NameCheck::text(int name) const {
    return quotedInFinding(reader.nameText(name));
}
