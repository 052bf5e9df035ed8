// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <utility>

// The command-line companion run as a process, as scripts run it.

struct CompanionRun {
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program (the companion, or a shell that runs it) to its end.
inline CompanionRun runCompanionProgram(const QString &program, const QStringList &arguments,
                                        const std::function<void(QProcess &)> &prepare = {}) {
    QProcess process;
    if (prepare)
        prepare(process);
    process.start(program, arguments);
    if (!process.waitForFinished(-1))
        qFatal("the companion did not run: %s", qPrintable(process.errorString()));
    return {process.exitStatus(), process.exitCode(), process.readAllStandardOutput(),
            process.readAllStandardError()};
}

inline CompanionRun runCompanion(const QStringList &arguments,
                                 const std::function<void(QProcess &)> &prepare = {}) {
    return runCompanionProgram(QStringLiteral(TARSKCJS_CLI_PATH), arguments, prepare);
}

// Runs the companion with its standard input fed, as it reads, from the chunks `nextChunk`
// makes until it makes an empty one: an input of any size, never held whole. The feeding stops
// when the companion stops reading and ends.
inline CompanionRun runCompanionFed(const QStringList &arguments,
                                    const std::function<QByteArray()> &nextChunk,
                                    const std::function<void(QProcess &)> &prepare = {}) {
    QProcess process;
    if (prepare)
        prepare(process);
    process.start(QStringLiteral(TARSKCJS_CLI_PATH), arguments);
    if (!process.waitForStarted(-1))
        qFatal("the companion did not start: %s", qPrintable(process.errorString()));
    for (QByteArray chunk = nextChunk(); !chunk.isEmpty() && process.state() == QProcess::Running;
         chunk = nextChunk()) {
        process.write(chunk);
        while (process.bytesToWrite() > 0 && process.waitForBytesWritten(-1)) {
        }
    }
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return {process.exitStatus(), process.exitCode(), process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// Loads `library` into the child ahead of everything else, with `variables` set for it.
inline void preload(QProcess &process, const QString &library,
                    const QList<std::pair<QString, QString>> &variables) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", library);
    for (const auto &[name, value] : variables)
        environment.insert(name, value);
    // The address sanitizer's runtime asks to be loaded first; these libraries do not mind.
    QStringList sanitizerOptions = {"verify_asan_link_order=0"};
    if (environment.contains("ASAN_OPTIONS"))
        sanitizerOptions.prepend(environment.value("ASAN_OPTIONS"));
    environment.insert("ASAN_OPTIONS", sanitizerOptions.join(':'));
    process.setProcessEnvironment(environment);
}

// Makes every flush to the disk in the child fail with `error`, as a failing disk or a full
// network volume does only when the data is flushed.
inline void failFlushes(QProcess &process, int error) {
    preload(process, TARSKCJS_FAILING_FLUSH_PATH,
            {{"TARSKCJS_FLUSH_ERROR", QString::number(error)}});
}

// Gives every regular file the child writes a bad spot at byte `at`: writes stop there with
// EIO, while writes further on still succeed.
inline void failWritesAt(QProcess &process, qint64 at) {
    preload(process, TARSKCJS_BAD_SPOT_PATH, {{"TARSKCJS_BAD_SPOT", QString::number(at)}});
}

// Makes the kernel refuse the child more than `bytes` of data (heap and private mappings, not
// the code of its libraries): a program that needs more fails to allocate, as it would on a
// machine that has no more.
inline void limitData(QProcess &process, qint64 bytes) {
    process.setChildProcessModifier([bytes] {
        const rlimit data{rlim_t(bytes), rlim_t(bytes)};
        setrlimit(RLIMIT_DATA, &data);
    });
}

// Makes the kernel refuse to grow any file of the child past `bytes`, root or not, as a full
// disk would. SIGXFSZ is ignored, so the write fails with EFBIG instead of killing the child.
inline void limitFileSize(QProcess &process, qint64 bytes) {
    process.setChildProcessModifier([bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{rlim_t(bytes), rlim_t(bytes)};
        setrlimit(RLIMIT_FSIZE, &fileSize);
    });
}
