// SPDX-License-Identifier: GPL-3.0-or-later
// The companion's argument parsing on any argument list: it never crashes, answers every
// list with one request, keeps numbers within their ranges and words its usage errors alike.
#include "commandline.h"
#include "modelvalidation.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr qsizetype MaxArguments = 64;

// Arguments are separated by NUL bytes, as in a process's argument vector.
QStringList argumentsFrom(const std::uint8_t *data, std::size_t size) {
    QStringList arguments = {QStringLiteral("tarskcjs-cli")};
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &argument : bytes.split('\0')) {
        if (arguments.size() > MaxArguments)
            break;
        arguments.append(QString::fromUtf8(argument));
    }
    return arguments;
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkRequest(const CompanionRequest &request) {
    switch (request.action) {
    case CompanionRequest::Action::UsageError:
        check(request.text.startsWith(QStringLiteral("tarskcjs-cli: ")));
        check(request.text.endsWith(QStringLiteral("(see tarskcjs-cli --help)")));
        return;
    case CompanionRequest::Action::Help:
    case CompanionRequest::Action::Version:
        check(!request.text.isEmpty());
        return;
    case CompanionRequest::Action::Check:
        check(!request.checkFile.isEmpty() && request.outputFile.isEmpty());
        [[fallthrough]];
    case CompanionRequest::Action::Write:
    case CompanionRequest::Action::Stats:
        check(request.options.numPeriods >= 2 && request.options.numPeriods <= 99);
        check(request.options.initialSurvivalIndex >= 0
              && request.options.initialSurvivalIndex <= 99);
        validateModel(request.options);
        // Options without effect are named, as the option was given.
        for (const QString &warning : request.warnings)
            check(warning.startsWith(QStringLiteral("--")));
        return;
    }
    check(false);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication application(*argc, *argv); // as in the companion's main()
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QStringList arguments = argumentsFrom(data, size);
    const CompanionRequest request = parseCommandLine(arguments);
    checkRequest(request);

    const CompanionRequest again = parseCommandLine(arguments);
    check(again.action == request.action && again.text == request.text
          && again.outputFile == request.outputFile && again.checkFile == request.checkFile
          && again.seed == request.seed && again.warnings == request.warnings);
    return 0;
}
