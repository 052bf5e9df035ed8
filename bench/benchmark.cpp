// SPDX-License-Identifier: GPL-3.0-or-later
//
// Times the model definition writer against the reference write(2) of the same number of
// bytes, and the companion end to end. Every measurement runs in a child process of its own,
// so that its peak RSS is its own; each is repeated and the median is reported with min-max.
//
//   tarskcjs-bench [--runs K] [--dir DIR] [--periods 16,20,22,24] [--no-baseline]

#include "mainwindow.h"
#include "modeldefinitionsize.h"
#include "modeldefinitionwriter.h"
#include "modeloptions.h"
#include "outputtarget.h"
#include "savejob.h"
#include "straightforwardwriter.h"
#include "writeprogress.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// What a child measures.
enum class Task {
    Writer,
    StreamPath,
    StreamPathKeepingHeap,
    Straightforward,
    WriteSyscall,
    WriterWithDialog
};

const char *taskName(Task task) {
    switch (task) {
    case Task::Writer:
        return "writer";
    case Task::StreamPath:
        return "stream-path";
    case Task::StreamPathKeepingHeap:
        return "stream-path, heap kept";
    case Task::Straightforward:
        return "straightforward";
    case Task::WriteSyscall:
        return "write2";
    case Task::WriterWithDialog:
        return "writer+dialog";
    }
    return "";
}

ModelOptions modelFor(int periods, bool censoring) {
    ModelOptions options;
    options.numPeriods = periods;
    options.censoring = censoring;
    return options;
}

quint64 fileBytes(int periods, bool censoring) {
    return modelDefinitionSize(modelFor(periods, censoring)).bytes.toUInt64Saturated();
}

// ---- child side: one measurement, seconds on standard output ----

double writeWithWriter(Task task, const ModelOptions &options, const QString &path) {
    // The desktop program's window exists before it writes; only the progress handling counts.
    std::unique_ptr<MainWindow> window;
    if (task == Task::WriterWithDialog) {
        window = std::make_unique<MainWindow>();
        window->show();
        QCoreApplication::processEvents();
    }

    QElapsedTimer timer;
    timer.start();
    if (task == Task::WriterWithDialog) {
        // The desktop program's way: the save on a worker, the dialog fed from a timer.
        SaveJob job(resolveOutputTarget(path), options);
        WriteProgress progress(&job, window.get(), QStringLiteral("tarskCJS 1.0"), path);
        QEventLoop loop;
        QObject::connect(&job, &SaveJob::finished, &loop, &QEventLoop::quit);
        job.start();
        loop.exec();
        return double(timer.nsecsElapsed()) / 1e9;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        qFatal("cannot open %s", qPrintable(path));
    QTextStream out(&file);
    out.setEncoding(QStringConverter::System);
    if (task == Task::StreamPath || task == Task::StreamPathKeepingHeap)
        out.setGenerateByteOrderMark(true); // a mark still to write sends text through the stream
    if (task == Task::Straightforward) {
        writeStraightforwardly(out, options);
    } else {
        ModelDefinitionWriter::write(out, options);
    }
    out.flush();
    file.close();
    return double(timer.nsecsElapsed()) / 1e9;
}

double writeWithSyscall(quint64 bytes, const QString &path) {
    static char block[64 * 1024];
    std::fill(std::begin(block), std::end(block), 'x');
    QElapsedTimer timer;
    timer.start();
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        qFatal("cannot open %s", qPrintable(path));
    for (quint64 left = bytes; left > 0;) {
        const size_t chunk = size_t(std::min<quint64>(left, sizeof block));
        const ssize_t written = ::write(fd, block, chunk);
        if (written <= 0)
            qFatal("write failed");
        left -= quint64(written);
    }
    ::close(fd);
    return double(timer.nsecsElapsed()) / 1e9;
}

// The high-water mark of this process's own memory. The kernel's ru_maxrss of a spawned child
// starts from the parent's, so the child reports this itself.
double peakRssMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

int runChild(const QStringList &args) {
    const QString task = args.value(0);
    const ModelOptions options = modelFor(args.value(1).toInt(), args.value(2) == "1");
    const QString path = args.value(3);
    double seconds = 0;
    if (task == taskName(Task::WriteSyscall))
        seconds = writeWithSyscall(fileBytes(options.numPeriods, options.censoring), path);
    else if (task == taskName(Task::StreamPath))
        seconds = writeWithWriter(Task::StreamPath, options, path);
    else if (task == taskName(Task::StreamPathKeepingHeap)) {
        // QTextStream frees its buffers at every flush; by default glibc then gives the top
        // of the heap back to the kernel, only to fault it in again for the next flush.
        mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024); // setting one fixes the other too
        seconds = writeWithWriter(Task::StreamPath, options, path);
    } else if (task == taskName(Task::Straightforward))
        seconds = writeWithWriter(Task::Straightforward, options, path);
    else if (task == taskName(Task::WriterWithDialog))
        seconds = writeWithWriter(Task::WriterWithDialog, options, path);
    else
        seconds = writeWithWriter(Task::Writer, options, path);
    std::printf("%.6f %.3f\n", seconds, peakRssMb());
    return 0;
}

// ---- parent side ----

// Runs a program to its end; returns its wall time and what it printed.
std::pair<double, QByteArray> spawn(const QStringList &command) {
    QList<QByteArray> encoded;
    for (const QString &part : command)
        encoded.append(QFile::encodeName(part));
    QList<char *> argv;
    for (QByteArray &part : encoded)
        argv.append(part.data());
    argv.append(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        qFatal("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);

    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv.constFirst(), &actions, nullptr, argv.data(), environ) != 0)
        qFatal("cannot start %s", argv.constFirst());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);

    QByteArray output;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, got);
    ::close(pipeFds[0]);

    int status = 0;
    waitpid(pid, &status, 0);
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s failed", argv.constFirst());
    return {wall, output};
}

struct Summary {
    double median = 0, min = 0, max = 0;
};

Summary summarise(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    const double median = n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
    return {median, values.constFirst(), values.constLast()};
}

class Bench {
public:
    Bench(int runs, QString directory)
        : runs(runs)
        , directory(std::move(directory)) {}

    // Median seconds and peak RSS of one task, each run in a fresh child after a sync.
    std::pair<Summary, Summary> measure(Task task, int periods, bool censoring, bool toNull) {
        const QString path = toNull ? QStringLiteral("/dev/null") : directory + "/bench.txt";
        QList<double> seconds, rss;
        for (int run = 0; run < runs; ++run) {
            ::sync();
            const QList<QByteArray> printed =
                spawn({QCoreApplication::applicationFilePath(), "--child", taskName(task),
                       QString::number(periods), censoring ? "1" : "0", path})
                    .second.trimmed()
                    .split(' ');
            seconds.append(printed.value(0).toDouble());
            rss.append(printed.value(1).toDouble());
            if (!toNull)
                QFile::remove(path);
        }
        return {summarise(seconds), summarise(rss)};
    }

    // Wall time from here; peak RSS from /usr/bin/time, which forks from a small process.
    std::pair<Summary, Summary> measureCompanion(const QStringList &arguments) {
        const QString rssFile = directory + "/rss.txt";
        QList<double> seconds, rss;
        for (int run = 0; run < runs; ++run) {
            ::sync();
            const double wall = spawn(QStringList{"/usr/bin/time", "-f", "%M", "-o", rssFile,
                                                  QStringLiteral(TARSKCJS_CLI_PATH)}
                                      + arguments)
                                    .first;
            QFile report(rssFile);
            report.open(QIODevice::ReadOnly);
            seconds.append(wall);
            rss.append(report.readAll().trimmed().toDouble() / 1024.0);
            QFile::remove(directory + "/cli.txt");
        }
        return {summarise(seconds), summarise(rss)};
    }

    const int runs;
    const QString directory;
};

QString range(const Summary &s, int decimals) {
    return QStringLiteral("%1 (%2-%3)")
        .arg(s.median, 0, 'f', decimals)
        .arg(s.min, 0, 'f', decimals)
        .arg(s.max, 0, 'f', decimals);
}

void printLine(const QString &line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void writerTable(Bench &bench, const QList<int> &periods) {
    printLine("| N | censoring | MB | writer to file, s | MB/s | writer to /dev/null, s | MB/s "
              "| write(2), s | writer / write(2) | peak RSS, MB |");
    printLine("|---|---|---|---|---|---|---|---|---|---|");
    for (int n : periods) {
        for (bool censoring : {false, true}) {
            const double mb = double(fileBytes(n, censoring)) / 1e6;
            const auto [file, rss] = bench.measure(Task::Writer, n, censoring, false);
            const auto [null, nullRss] = bench.measure(Task::Writer, n, censoring, true);
            const auto [syscall, syscallRss] =
                bench.measure(Task::WriteSyscall, n, censoring, false);
            printLine(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 |")
                          .arg(n)
                          .arg(censoring ? "on" : "off")
                          .arg(mb, 0, 'f', 1)
                          .arg(range(file, 3))
                          .arg(mb / file.median, 0, 'f', 0)
                          .arg(range(null, 3))
                          .arg(mb / null.median, 0, 'f', 0)
                          .arg(range(syscall, 3))
                          .arg(file.median / syscall.median, 0, 'f', 2)
                          .arg(range(rss, 1)));
        }
    }
}

void variantsTable(Bench &bench, int n) {
    printLine(QStringLiteral("\nN = %1 without censoring, into a file:\n").arg(n));
    printLine("| variant | s | MB/s | / write(2) |");
    printLine("|---|---|---|---|");
    const double mb = double(fileBytes(n, false)) / 1e6;
    const Summary syscall = bench.measure(Task::WriteSyscall, n, false, false).first;
    for (Task task : {Task::Straightforward, Task::StreamPath, Task::StreamPathKeepingHeap,
                      Task::Writer, Task::WriteSyscall}) {
        const Summary s =
            task == Task::WriteSyscall ? syscall : bench.measure(task, n, false, false).first;
        printLine(QStringLiteral("| %1 | %2 | %3 | %4 |")
                      .arg(taskName(task))
                      .arg(range(s, 3))
                      .arg(mb / s.median, 0, 'f', 0)
                      .arg(s.median / syscall.median, 0, 'f', 2));
    }
}

// What the desktop program's progress dialog adds to a write that lasts long enough for the
// dialog to appear (it shows after half a second).
void progressDialogTable(Bench &bench) {
    printLine("\nProgress dialog of the desktop program (offscreen; it shows after 0.5 s):\n");
    printLine("| N | into | without dialog, s | with dialog, s | added |");
    printLine("|---|---|---|---|---|");
    const QList<std::pair<int, bool>> cases = {{22, true}, {24, true}, {25, true}, {24, false}};
    for (const auto &[n, toNull] : cases) {
        const Summary plain = bench.measure(Task::Writer, n, false, toNull).first;
        const Summary dialog = bench.measure(Task::WriterWithDialog, n, false, toNull).first;
        printLine(QStringLiteral("| %1 | %2 | %3 | %4 | %5 % |")
                      .arg(n)
                      .arg(toNull ? "/dev/null" : "file")
                      .arg(range(plain, 3))
                      .arg(range(dialog, 3))
                      .arg((dialog.median / plain.median - 1) * 100, 0, 'f', 1));
    }
}

// The arithmetic behind --stats, in process: the rest of --stats is process start-up.
void statsArithmetic() {
    constexpr int calls = 1000;
    QList<double> micros;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        UInt128 sink = 0;
        for (int i = 0; i < calls; ++i)
            sink += modelDefinitionSize(modelFor(99, i % 2 == 1)).bytes;
        micros.append(double(timer.nsecsElapsed()) / 1e3 / calls);
        if (sink == 0)
            qFatal("no size");
    }
    printLine(QStringLiteral("\nSize arithmetic for N = 99 (what --stats computes): %1 us a call")
                  .arg(range(summarise(micros), 1)));
}

void companionTable(Bench &bench, const QList<int> &periods) {
    printLine("\nCompanion end to end (tarskcjs-cli -n N -o FILE, includes the fsync of the "
              "atomic save):\n");
    printLine("| command | wall, s | peak RSS, MB |");
    printLine("|---|---|---|");
    const QString file = bench.directory + "/cli.txt";
    QList<QStringList> commands;
    for (int n : periods)
        commands.append({"-n", QString::number(n), "-o", file});
    commands.append({"-n", "99", "--stats"});
    for (const QStringList &arguments : std::as_const(commands)) {
        const auto [seconds, rss] = bench.measureCompanion(arguments);
        printLine(QStringLiteral("| tarskcjs-cli %1 | %2 | %3 |")
                      .arg(QStringList(arguments).replaceInStrings(file, "FILE").join(' '))
                      .arg(range(seconds, 3))
                      .arg(range(rss, 1)));
    }
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc > 2 && qstrcmp(argv[1], "--child") == 0) {
        if (qstrcmp(argv[2], taskName(Task::WriterWithDialog)) == 0) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QApplication app(argc, argv);
            return runChild(QApplication::arguments().mid(2));
        }
        QCoreApplication app(argc, argv);
        return runChild(QCoreApplication::arguments().mid(2));
    }
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // The offscreen GUI children want one; a private directory of their own will do.
        const QString runtime = QDir::tempPath() + "/tarskcjs-bench-runtime";
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }

    QCommandLineParser parser;
    parser.setApplicationDescription("Benchmark of the model definition writer.");
    parser.addHelpOption();
    const QCommandLineOption runsOption("runs", "Runs per measurement (default 5).", "K", "5");
    const QCommandLineOption dirOption("dir", "Directory for the files (default: a temporary one).",
                                       "DIR");
    const QCommandLineOption periodsOption("periods", "Periods to measure (default 16,20,22,24).",
                                           "LIST", "16,20,22,24");
    const QCommandLineOption noBaselineOption(
        "no-baseline", "Skip the straightforward writer (slow: about 20 s a run at N = 22).");
    parser.addOptions({runsOption, dirOption, periodsOption, noBaselineOption});
    parser.process(app);

    QTemporaryDir temporary(parser.value(dirOption).isEmpty()
                                ? QString()
                                : parser.value(dirOption) + "/tarskcjs-bench-XXXXXX");
    if (!temporary.isValid())
        qFatal("cannot create a temporary directory");
    QList<int> periods;
    for (const QString &n : parser.value(periodsOption).split(','))
        periods.append(n.toInt());

    Bench bench(std::max(1, parser.value(runsOption).toInt()), temporary.path());
    printLine(QStringLiteral("Medians of %1 runs (min-max); files in %2\n")
                  .arg(bench.runs)
                  .arg(temporary.path()));
    writerTable(bench, periods);
    if (!parser.isSet(noBaselineOption))
        variantsTable(bench, 22);
    companionTable(bench, periods);
    progressDialogTable(bench);
    statsArithmetic();
    return 0;
}
