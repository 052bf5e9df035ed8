// SPDX-License-Identifier: GPL-3.0-or-later
#include "optionscheck.h"

#include "findings.h"
#include "observeddevice.h"

using CheckText::tr;

OptionsCheck::OptionsCheck(Findings &findings, const ModelOptions &options, QIODevice &source)
    : findings(findings)
    , comparison(options)
    , observed(std::make_unique<ObservedDevice>(source, [this](QByteArrayView bytes) {
        comparison.compare(bytes);
        return true;
    })) {}

OptionsCheck::~OptionsCheck() = default;

QIODevice &OptionsCheck::device() {
    return *observed;
}

void OptionsCheck::finish(bool fileEnded) {
    if (fileEnded)
        comparison.finish();
    const std::optional<WriterComparison::Difference> difference = comparison.difference();
    if (!difference)
        return;
    findings.add(ModelCheckFinding::Kind::DiffersFromOptions, difference->line,
                 tr("this line is not the one written for the given options: from column "
                    "%1 on (marked \u25b8), expected %2, found %3.")
                     .arg(difference->column)
                     .arg(difference->expected, difference->found),
                 difference->column);
}
