// SPDX-License-Identifier: GPL-3.0-or-later
// The check of a model definition file on any bytes: it reads them to the end without
// crashing or hanging, and its verdict agrees with its findings.
#include "modeldefinitioncheck.h"

#include <QBuffer>
#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool isError(const ModelCheckFinding &finding) {
    return finding.severity == ModelCheckFinding::Severity::Error;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const ModelCheckResult result = checkModelDefinition(buffer);

    const bool anyError = std::any_of(result.findings.cbegin(), result.findings.cend(), isError);
    check(result.verdict != ModelCheckResult::Verdict::Unreadable);
    check(anyError == (result.verdict == ModelCheckResult::Verdict::Unsound));
    for (const ModelCheckFinding &finding : result.findings)
        check(finding.line >= 1 && !finding.message.isEmpty());
    return 0;
}
