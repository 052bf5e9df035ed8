// SPDX-License-Identifier: GPL-3.0-or-later
#include "companion.h"

#include "commandline.h"
#include "modeldefinitionsize.h"
#include "modeldefinitionwriter.h"
#include "modelfilesaver.h"
#include "modelvalidation.h"
#include "progressbar.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#endif

namespace {

constexpr quint64 LargeFileBytes = 64 * 1024 * 1024; // progress shows by itself from here on

volatile std::sig_atomic_t interruptSignal = 0;

void onInterrupt(int signal) {
    interruptSignal = signal;
}

QString tr(const char *text) {
    return QCoreApplication::translate("Companion", text);
}

void printError(const QString &message) {
    const QByteArray bytes = (message + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void printOutput(const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString programName() {
    return QStringLiteral("tarskcjs-cli");
}

QString sizeText(UInt128 bytes) {
    if (bytes < 1000)
        return humanReadableSize(bytes);
    return tr("%1 (%2 bytes)").arg(humanReadableSize(bytes), bytes.toString());
}

QString statsSizeText(UInt128 bytes) {
    if (bytes < 1000)
        return bytes.toString();
    return tr("%1 (%2)").arg(bytes.toString(), humanReadableSize(bytes));
}

// Refusals always stop the run; clashes and ambiguous symbols only without
// --allow-name-clashes, and are printed as warnings with it.
bool acceptModel(const CompanionRequest &request) {
    bool refused = false;
    bool warned = false;
    for (const ModelFinding &finding : validateModel(request.options)) {
        const QString text = describeFinding(finding, optionForField);
        if (finding.isRefusal())
            refused = true;
        else
            warned = true;
        const bool stops = finding.isRefusal() || !request.allowNameClashes;
        printError(stops ? tr("%1: %2").arg(programName(), text)
                         : tr("%1: warning: %2").arg(programName(), text));
    }
    if (!refused && warned && !request.allowNameClashes) {
        printError(tr("%1: nothing was written; use --allow-name-clashes to write anyway")
                       .arg(programName()));
    }
    return !refused && (!warned || request.allowNameClashes);
}

int printStats(const ModelOptions &options) {
    const ModelDefinitionSize size = modelDefinitionSize(options, NativeNewlineLength);
    printOutput(
        tr("histories: %1\nbytes: %2\n").arg(size.lines.toString(), statsSizeText(size.bytes)));
    return ExitSuccess;
}

class ProgressReport {
public:
    ProgressReport(CompanionRequest::Progress mode, UInt128 fileBytes) {
        const bool large = fileBytes >= UInt128(LargeFileBytes);
        const bool show =
            mode == CompanionRequest::Progress::On
            || (mode == CompanionRequest::Progress::Auto && large && isatty(STDERR_FILENO));
        if (show)
            bar = std::make_unique<ProgressBar>(stderr);
    }

    ModelDefinitionWriter::Progress callback() {
        return [this](quint64 done, quint64 total) {
            lastTotal = total;
            if (bar)
                bar->update(done, total);
            return interruptSignal == 0;
        };
    }

    void finish() {
        if (bar)
            bar->finish(lastTotal);
    }

private:
    std::unique_ptr<ProgressBar> bar;
    quint64 lastTotal = 0;
};

int writeToFile(const CompanionRequest &request, const ModelDefinitionSize &size) {
    const QString &fileName = request.outputFile;
    const FreeSpace space = freeSpaceFor(fileName, size.bytes);
    if (!space.fits()) {
        printError(tr("%1: %2: the file would need %3, but only %4 is free there; nothing was "
                      "written. Choose fewer periods or another volume.")
                       .arg(programName(), fileName, sizeText(size.bytes),
                            sizeText(quint64(space.available))));
        return ExitWriteFailure;
    }

    ProgressReport progress(request.progress, size.bytes);
    const SaveResult result = saveModelDefinition(fileName, request.options, progress.callback());
    progress.finish();
    switch (result.status) {
    case SaveResult::Status::Saved:
        return ExitSuccess;
    case SaveResult::Status::OpenFailed:
        printError(tr("%1: cannot create %2: %3; nothing was written")
                       .arg(programName(), fileName, result.errorString));
        return ExitWriteFailure;
    case SaveResult::Status::WriteFailed:
        printError(tr("%1: cannot write %2: %3; nothing was written and an earlier file of "
                      "that name is unchanged")
                       .arg(programName(), fileName, result.errorString));
        return ExitWriteFailure;
    case SaveResult::Status::Cancelled:
        printError(tr("%1: interrupted; %2 was not written").arg(programName(), fileName));
        return ExitInterrupted;
    }
    return ExitWriteFailure;
}

int writeToStandardOutput(const CompanionRequest &request, const ModelDefinitionSize &size) {
    QFile output;
    if (!output.open(stdout, QIODevice::WriteOnly | QIODevice::Text,
                     QFileDevice::DontCloseHandle)) {
        printError(
            tr("%1: cannot write to standard output: %2").arg(programName(), output.errorString()));
        return ExitWriteFailure;
    }
    QTextStream out(&output);
    out.setEncoding(QStringConverter::System);
    ProgressReport progress(request.progress, size.bytes);
    const auto outcome = ModelDefinitionWriter::write(out, request.options, progress.callback());
    out.flush();
    const bool flushed = output.flush();
    progress.finish();

    if (outcome == ModelDefinitionWriter::Outcome::Cancelled) {
        printError(tr("%1: interrupted; the output is incomplete").arg(programName()));
        return ExitInterrupted;
    }
    if (outcome == ModelDefinitionWriter::Outcome::Failed || out.status() != QTextStream::Ok
        || !flushed || output.error() != QFileDevice::NoError) {
        printError(tr("%1: cannot write to standard output: %2; the output is incomplete")
                       .arg(programName(), output.errorString()));
        return ExitWriteFailure;
    }
    return ExitSuccess;
}

} // namespace

int runCompanion(const QStringList &arguments) {
    const CompanionRequest request = parseCommandLine(arguments);
    switch (request.action) {
    case CompanionRequest::Action::Help:
    case CompanionRequest::Action::Version:
        printOutput(request.text);
        return ExitSuccess;
    case CompanionRequest::Action::UsageError:
        printError(request.text);
        return ExitUsage;
    case CompanionRequest::Action::Stats:
        return printStats(request.options);
    case CompanionRequest::Action::Write:
        break;
    }

    if (!acceptModel(request))
        return ExitUsage;

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const ModelDefinitionSize size = modelDefinitionSize(request.options, NativeNewlineLength);
    if (request.outputFile.isEmpty())
        return writeToStandardOutput(request, size);
    return writeToFile(request, size);
}
