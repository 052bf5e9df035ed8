// SPDX-License-Identifier: GPL-3.0-or-later
#include "findings.h"

#include "modelnames.h"

#include <QCoreApplication>

#include <algorithm>

QString CheckText::tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionCheck", text);
}

namespace {

using CheckText::tr;

constexpr int ListedPerKind = 10;
constexpr qsizetype LongestShownText = 60;

ModelCheckFinding::Severity severityOf(ModelCheckFinding::Kind kind) {
    const bool warning = kind == ModelCheckFinding::Kind::ParameterUnused
                         || kind == ModelCheckFinding::Kind::NamesReadAlike;
    return warning ? ModelCheckFinding::Severity::Warning : ModelCheckFinding::Severity::Error;
}

} // namespace

void Findings::add(Kind kind, qint64 line, const QString &message, qint64 column) {
    Tally &tally = tallies[size_t(kind)];
    if (tally.listed < ListedPerKind) {
        ++tally.listed;
        listed.append({kind, severityOf(kind), line, column, message});
    } else if (tally.unlisted++ == 0) {
        tally.firstUnlistedLine = line;
    }
}

void Findings::addUnlisted(Kind kind, qint64 count, qint64 firstLine) {
    if (count <= 0)
        return;
    Tally &tally = tallies[size_t(kind)];
    if (tally.unlisted == 0 || firstLine < tally.firstUnlistedLine)
        tally.firstUnlistedLine = firstLine;
    tally.unlisted += count;
}

bool Findings::hasErrors() const {
    for (int kind = 0; kind < KindCount; ++kind) {
        if (tallies[size_t(kind)].unlisted > 0
            && severityOf(Kind(kind)) == ModelCheckFinding::Severity::Error)
            return true;
    }
    return std::any_of(listed.cbegin(), listed.cend(), [](const ModelCheckFinding &f) {
        return f.severity == ModelCheckFinding::Severity::Error;
    });
}

QList<ModelCheckFinding> Findings::byLine() const {
    QList<ModelCheckFinding> all = listed;
    for (int kind = 0; kind < KindCount; ++kind) {
        const Tally &tally = tallies[size_t(kind)];
        if (tally.unlisted > 0) {
            all.append({Kind(kind), severityOf(Kind(kind)), tally.firstUnlistedLine, 0,
                        tr("%1 more findings of this kind are not listed; the first of them is "
                           "on this line.")
                            .arg(tally.unlisted)});
        }
    }
    std::stable_sort(
        all.begin(), all.end(),
        [](const ModelCheckFinding &a, const ModelCheckFinding &b) { return a.line < b.line; });
    return all;
}

QString quotedInFinding(const QString &text) {
    const QString shown =
        text.size() > LongestShownText ? text.left(LongestShownText) + QChar(0x2026) : text;
    return QStringLiteral("\"%1\"").arg(visibleText(shown));
}
