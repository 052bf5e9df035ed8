// SPDX-License-Identifier: GPL-3.0-or-later
#include "namecheck.h"

#include "findings.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionCheck", text);
}

using Kind = ModelCheckFinding::Kind;

} // namespace

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

bool NameCheck::declareParameter(int name, qint64 line) {
    Name &parameter = names[name];
    if (parameter.role == Role::Parameter) {
        findings.add(Kind::ParameterDeclaredTwice, line,
                     tr("the parameter %1 is declared twice, here and on line %2.")
                         .arg(text(name))
                         .arg(parameter.line));
        return false;
    }
    parameter = {Role::Parameter, false, true, false, line, 0};
    return true;
}

NameCheck::Definition NameCheck::defineVariable(int name, const Expression &expression,
                                                qint64 line) {
    bool evaluable = true;
    bool usesItself = false;
    for (const ExpressionStep &step : expression) {
        if (step.kind != ExpressionStep::Kind::Name)
            continue;
        if (step.name == name && names.at(name).role == Role::None)
            usesItself = true;
        else
            evaluable &= use(step.name, line);
    }
    Name &variable = names[name];
    if (variable.role == Role::Parameter) {
        findings.add(Kind::ParameterDefinedAsVariable, line,
                     tr("%1 is defined as a variable, but it is a parameter declared on "
                        "line %2.")
                         .arg(text(name))
                         .arg(variable.line));
        return {false, false};
    }
    if (variable.role == Role::Variable) {
        findings.add(Kind::VariableDefinedTwice, line,
                     tr("the variable %1 is defined twice, here and on line %2.")
                         .arg(text(name))
                         .arg(variable.line));
        return {false, false};
    }
    if (usesItself) {
        findings.add(Kind::VariableDefinedByItself, line,
                     tr("the variable %1 is defined in terms of itself.").arg(text(name)));
    }
    if (variable.earlyUse > 0) {
        findings.add(Kind::VariableUsedEarly, variable.earlyUse,
                     tr("the variable %1 is used here, above its definition on line %2; a "
                        "variable can only use the variables defined above it.")
                         .arg(text(name))
                         .arg(line));
    }
    evaluable = evaluable && !usesItself;
    variable = {Role::Variable, variable.earlyUse > 0, evaluable, false, line, 0};
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

bool NameCheck::useInHistory(const Expression &expression, qsizetype unchanged, qint64 line) {
    qsizetype firstValueless = -1;
    if (lastFirstValueless >= 0 && lastFirstValueless < unchanged)
        firstValueless = lastFirstValueless;
    for (qsizetype i = unchanged; i < expression.size(); ++i) {
        const ExpressionStep &step = expression.at(i);
        if (step.kind == ExpressionStep::Kind::Name && !use(step.name, line) && firstValueless < 0)
            firstValueless = i;
    }
    lastFirstValueless = firstValueless;
    return firstValueless < 0;
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

void NameCheck::reportUndefined(int name, qint64 line) {
    findings.add(Kind::UndefinedName, line,
                 tr("%1 is neither a declared parameter nor a variable defined in the file.")
                     .arg(text(name)));
}

QString NameCheck::text(int name) const {
    return quotedInFinding(reader.nameText(name));
}
