// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitioncheck.h"

#include <QList>
#include <QString>

#include <array>

// The check's messages share one translation context, whichever check reports them.
namespace CheckText {
QString tr(const char *text);
}

// The findings so far, from all the checks. A kind met in many places (a cell out of range in
// a file with millions of histories) is listed ten times, then counted.
class Findings {
public:
    using Kind = ModelCheckFinding::Kind;

    void add(Kind kind, qint64 line, const QString &message, qint64 column = 0);
    // Findings of a kind that a check counted without keeping them; the first on `firstLine`.
    void addUnlisted(Kind kind, qint64 count, qint64 firstLine);

    bool hasErrors() const;
    // The listed findings, and one for the unlisted ones of each kind, by line.
    QList<ModelCheckFinding> byLine() const;

private:
    static constexpr int KindCount = int(Kind::DiffersFromOptions) + 1;

    struct Tally {
        int listed = 0;
        qint64 unlisted = 0;
        qint64 firstUnlistedLine = 0;
    };

    std::array<Tally, KindCount> tallies{};
    QList<ModelCheckFinding> listed;
};

// A text of the file in a finding: in double quotes, cut after 60 characters, with the
// characters one cannot see made visible.
QString quotedInFinding(const QString &text);
