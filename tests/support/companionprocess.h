// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <csignal>
#include <functional>
#include <sys/resource.h>

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

// Makes every flush to the disk in the child fail with `error`, as a failing disk or a full
// network volume does only when the data is flushed.
inline void failFlushes(QProcess &process, int error) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", TARSKCJS_FAILING_FLUSH_PATH);
    environment.insert("TARSKCJS_FLUSH_ERROR", QString::number(error));
    // The address sanitizer's runtime asks to be loaded first; this library does not mind.
    QStringList sanitizerOptions = {"verify_asan_link_order=0"};
    if (environment.contains("ASAN_OPTIONS"))
        sanitizerOptions.prepend(environment.value("ASAN_OPTIONS"));
    environment.insert("ASAN_OPTIONS", sanitizerOptions.join(':'));
    process.setProcessEnvironment(environment);
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
