// SPDX-License-Identifier: GPL-3.0-or-later
#include "companion.h"

#include "commandline.h"
#include "modeldefinitioncheck.h"
#include "modeldefinitionsize.h"
#include "modelfilesaver.h"
#include "modelvalidation.h"
#include "outputtarget.h"
#include "progressbar.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#endif

namespace {

constexpr quint64 LargeFileBytes = 64 * 1024 * 1024; // progress shows by itself from here on

volatile std::sig_atomic_t interruptSignal = 0;

// Descriptors 0-2 that were closed when the companion started: they now lead to /dev/null.
ClosedStandardDescriptors closedAtStart;

void onInterrupt(int signal) {
    interruptSignal = signal;
}

bool interrupted() {
    return interruptSignal != 0;
}

// Without SA_RESTART a write that blocks (a pipe nobody reads) returns, and the writing sees
// the flag; SA_RESETHAND lets a second signal end the process the usual way.
void catchInterrupts() {
#ifdef Q_OS_UNIX
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#else
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
#endif
}

QString tr(const char *text) {
    return QCoreApplication::translate("Companion", text);
}

QString programName() {
    return QStringLiteral("tarskcjs-cli");
}

bool put(const QString &text, FILE *stream) {
    const QByteArray bytes = text.toLocal8Bit();
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written && !std::ferror(stream);
}

// Messages go to standard error with the program's name first; if even that is lost, there
// is nobody left to tell.
void report(const QString &message) {
    put(programName() + QStringLiteral(": ") + message + u'\n', stderr);
}

void warn(const QString &message) {
    report(tr("warning: %1").arg(message));
}

QString closedOutputMessage(const QString &name) {
    return tr("cannot write to %1: it is closed").arg(name);
}

// The companion's own answers (--help, --version, --stats, --check) count only if they arrive.
int answer(const QString &text) {
    if (closedAtStart.output) {
        report(closedOutputMessage(tr("standard output")));
        return ExitWriteFailure;
    }
    errno = 0;
    if (put(text, stdout))
        return ExitSuccess;
    const int error = errno;
    report(tr("cannot write to standard output: %1")
               .arg(error ? QString::fromLocal8Bit(std::strerror(error)) : tr("output error")));
    return ExitWriteFailure;
}

// "1 error", "3 errors".
QString counted(qsizetype count, const char *one, const char *many) {
    return QStringLiteral("%1 %2").arg(count).arg(tr(count == 1 ? one : many));
}

QString quoted(const QString &name) {
    return u'"' + name + u'"';
}

QString sizeText(UInt128 bytes) {
    if (bytes < 1000)
        return humanReadableSize(bytes);
    return tr("%1 (%2 bytes)").arg(humanReadableSize(bytes), bytes.toString());
}

struct Verdict {
    bool refused = false;
    bool asked = false;
};

// Refusals are printed as errors; questions as errors too unless they are allowed, then as
// warnings.
Verdict printFindings(const ModelOptions &options, bool questionsAllowed) {
    Verdict verdict;
    for (const ModelFinding &finding : validateModel(options)) {
        const QString text = describeFinding(finding, optionForField);
        if (finding.isRefusal()) {
            verdict.refused = true;
            report(text);
        } else {
            verdict.asked = true;
            questionsAllowed ? warn(text) : report(text);
        }
    }
    return verdict;
}

bool acceptModel(const CompanionRequest &request) {
    const Verdict verdict = printFindings(request.options, request.allowNameClashes);
    if (!verdict.refused && verdict.asked && !request.allowNameClashes)
        report(tr("nothing was written; use --allow-name-clashes to write anyway"));
    return !verdict.refused && (!verdict.asked || request.allowNameClashes);
}

// The figures of a file that could be written; what writing would ask about the inputs goes to
// standard error as warnings. Inputs that would break the file are a usage error, as when
// writing.
int printStats(const ModelOptions &options) {
    if (printFindings(options, true).refused)
        return ExitUsage;
    const ModelDefinitionSize size = modelDefinitionSize(options, NativeNewlineLength);
    return answer(tr("histories: %1\nbytes: %2\n")
                      .arg(size.lines.toString(),
                           size.bytes < 1000 ? size.bytes.toString()
                                             : tr("%1 (%2)").arg(size.bytes.toString(),
                                                                 humanReadableSize(size.bytes))));
}

bool isTerminal(const OutputTarget &target) {
    return target.kind == OutputTarget::Kind::Descriptor && isatty(target.descriptor);
}

class ProgressReport {
public:
    ProgressReport(CompanionRequest::Progress mode, UInt128 fileBytes, const OutputTarget &target) {
        const bool large = fileBytes >= UInt128(LargeFileBytes);
        const bool show = mode == CompanionRequest::Progress::On
                          || (mode == CompanionRequest::Progress::Auto && large
                              && isatty(STDERR_FILENO) && !isTerminal(target));
        if (show)
            bar = std::make_unique<ProgressBar>(stderr);
    }

    ModelDefinitionWriter::Progress callback() {
        return [this](quint64 done, quint64 total) {
            lastDone = done;
            lastTotal = total;
            if (bar)
                bar->update(done, total);
            return !interrupted();
        };
    }

    void finish() {
        if (bar)
            bar->finish(lastDone, lastTotal);
    }

private:
    std::unique_ptr<ProgressBar> bar;
    quint64 lastDone = 0;
    quint64 lastTotal = 0;
};

QString targetName(const OutputTarget &target) {
    return target.kind == OutputTarget::Kind::Descriptor && target.descriptor == 1
                   && target.name == OutputTarget::standardOutput().name
               ? target.name
               : quoted(target.name);
}

bool fits(const OutputTarget &target, const ModelDefinitionSize &size) {
    const FreeSpace space = freeSpaceFor(target, size.bytes);
    if (space.fits())
        return true;
    report(tr("%1: the file would need %2, but only %3 is free there; nothing was written. "
              "Choose fewer periods or another volume.")
               .arg(targetName(target), sizeText(size.bytes), sizeText(quint64(space.available))));
    return false;
}

int reportOutcome(const OutputTarget &target, const SaveResult &result) {
    const bool file = target.kind == OutputTarget::Kind::File;
    const QString name = targetName(target);
    switch (result.status) {
    case SaveResult::Status::Saved:
        return ExitSuccess;
    case SaveResult::Status::OpenFailed:
        report(
            file ? tr("cannot create %1: %2; nothing was written").arg(name, result.errorString)
                 : tr("cannot write to %1: %2; nothing was written").arg(name, result.errorString));
        return ExitWriteFailure;
    case SaveResult::Status::WriteFailed:
        report(file ? tr("cannot write %1: %2; nothing was written and an earlier file of that "
                         "name is unchanged")
                          .arg(name, result.errorString)
                    : tr("cannot write to %1: %2; the output is incomplete")
                          .arg(name, result.errorString));
        return ExitWriteFailure;
    case SaveResult::Status::Cancelled:
        report(file ? tr("interrupted; %1 was not written").arg(name)
                    : tr("interrupted; the output to %1 is incomplete").arg(name));
        return ExitInterrupted;
    }
    return ExitWriteFailure;
}

bool wasClosedAtStart(const OutputTarget &target) {
    if (target.kind != OutputTarget::Kind::Descriptor)
        return false;
    return (target.descriptor == 0 && closedAtStart.input)
           || (target.descriptor == 1 && closedAtStart.output)
           || (target.descriptor == 2 && closedAtStart.error);
}

int writeModel(const CompanionRequest &request) {
    const QString &fileName = request.outputFile;
    const OutputTarget target = fileName.isEmpty() || fileName == QStringLiteral("-")
                                    ? OutputTarget::standardOutput()
                                    : resolveOutputTarget(fileName);
    if (wasClosedAtStart(target)) {
        report(closedOutputMessage(targetName(target)));
        return ExitWriteFailure;
    }
    if (target.kind == OutputTarget::Kind::Refused) {
        report(tr("cannot write to %1: %2; nothing was written")
                   .arg(quoted(target.name), target.problem));
        return ExitWriteFailure;
    }
    const ModelDefinitionSize size = modelDefinitionSize(request.options, NativeNewlineLength);
    if (!fits(target, size))
        return ExitWriteFailure;

    ProgressReport progress(request.progress, size.bytes, target);
    SaveMonitor monitor;
    monitor.progress = progress.callback();
    monitor.stopRequested = interrupted;
    const SaveResult result = saveModelDefinition(target, request.options, monitor);
    progress.finish();
    return reportOutcome(target, result);
}

// --check: the findings and a verdict on standard output; the exit status says which.
int checkFile(const CompanionRequest &request) {
    const bool standardInput = request.checkFile == QStringLiteral("-");
    const QString quotedName = standardInput ? tr("standard input") : quoted(request.checkFile);
    const QString name = standardInput ? tr("standard input") : request.checkFile;
    QFile file;
    if (standardInput && closedAtStart.input) {
        report(tr("cannot read standard input: it is closed"));
        return ExitWriteFailure;
    }
    if (standardInput) {
        file.open(stdin, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
    } else if (QFileInfo(request.checkFile).isDir()) {
        report(tr("cannot read %1: it is a directory").arg(quotedName));
        return ExitWriteFailure;
    } else {
        file.setFileName(request.checkFile);
        if (!file.open(QIODevice::ReadOnly)) {
            report(tr("cannot read %1: %2").arg(quotedName, file.errorString()));
            return ExitWriteFailure;
        }
    }

    ModelCheckSettings settings;
    settings.seed = request.seed;
    if (request.compareWithOptions)
        settings.expected = request.options;
    const ModelCheckResult result = checkModelDefinition(file, settings);
    if (result.verdict == ModelCheckResult::Verdict::Unreadable) {
        report(tr("cannot read %1: %2").arg(quotedName, result.readError));
        return ExitWriteFailure;
    }

    QString text;
    int errors = 0;
    for (const ModelCheckFinding &finding : result.findings) {
        text += name + QStringLiteral(": ") + formatFinding(finding) + u'\n';
        errors += finding.severity == ModelCheckFinding::Severity::Error ? 1 : 0;
    }
    const qsizetype warnings = result.findings.size() - errors;
    if (result.verdict == ModelCheckResult::Verdict::Sound) {
        text += tr("%1: sound: %2, %3; the cells sum to 1 in %4 random draws (seed %5)%6%7\n")
                    .arg(name, counted(qsizetype(result.histories), "history", "histories"),
                         counted(warnings, "warning", "warnings"))
                    .arg(settings.draws)
                    .arg(settings.seed)
                    .arg(result.balancedDraw ? tr(" and a balanced one") : QString(),
                         request.compareWithOptions ? tr("; it is the file of the model options")
                                                    : QString());
    } else {
        text += tr("%1: not sound: %2, %3\n")
                    .arg(name, counted(errors, "error", "errors"),
                         counted(warnings, "warning", "warnings"));
    }
    const int answered = answer(text);
    if (answered != ExitSuccess)
        return answered;
    return result.verdict == ModelCheckResult::Verdict::Sound ? ExitSuccess : ExitUnsound;
}

} // namespace

ClosedStandardDescriptors openClosedStandardDescriptors() {
    ClosedStandardDescriptors closed;
#ifdef Q_OS_UNIX
    // A descriptor 0-2 that the caller closed would go to the next file opened: the model
    // file would then receive the progress bar or messages.
    bool *const wasClosed[] = {&closed.input, &closed.output, &closed.error};
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
            continue;
        *wasClosed[descriptor] = true;
        const int opened = ::open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor) {
            ::dup2(opened, descriptor);
            ::close(opened);
        }
    }
#endif
    return closed;
}

int runCompanion(const QStringList &arguments, ClosedStandardDescriptors closed) {
    closedAtStart = closed;
    const CompanionRequest request = parseCommandLine(arguments);
    switch (request.action) {
    case CompanionRequest::Action::Help:
    case CompanionRequest::Action::Version:
        return answer(request.text);
    case CompanionRequest::Action::UsageError:
        put(request.text + u'\n', stderr);
        return ExitUsage;
    case CompanionRequest::Action::Stats:
    case CompanionRequest::Action::Check:
    case CompanionRequest::Action::Write:
        break;
    }

    for (const QString &warning : request.warnings)
        warn(warning);
    if (request.action == CompanionRequest::Action::Stats)
        return printStats(request.options);
    if (request.action == CompanionRequest::Action::Check)
        return checkFile(request);
    if (!acceptModel(request))
        return ExitUsage;
    catchInterrupts();
    return writeModel(request);
}
