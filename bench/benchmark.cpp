// SPDX-License-Identifier: GPL-3.0-or-later
//
// Times the model definition writer and the companion against write(2) of the same number of
// bytes, the desktop program's GUI thread while it saves, and the companion's --check against
// `wc -l`. Every measurement runs in a child process of its own, so that its peak RSS is its
// own; each is repeated, the runs of things compared with each other interleaved, and the
// median is reported with min-max.
//
//   tarskcjs-bench [--runs K] [--dir DIR] [--periods 16,20,22,24] [--constant-periods 22]
//                  [--gui-periods 22,24] [--gui-check-periods 22] [--check-periods 20,22]
//                  [--no-baseline] [--reference-cli PATH]

#include "checkjob.h"
#include "dialogdriver.h"
#include "mainwidget.h"
#include "mainwindow.h"
#include "modeldefinitionsize.h"
#include "modeldefinitionwriter.h"
#include "modeloptions.h"
#include "savejob.h"
#include "straightforwardwriter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
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
    WriteSyscallSync,
    GuiCreate,
    GuiCheck
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
    case Task::WriteSyscallSync:
        return "write2+fsync";
    case Task::GuiCreate:
        return "gui-create";
    case Task::GuiCheck:
        return "gui-check";
    }
    return "";
}

// The models measured: the full one with and without censoring, and the reduced one with
// constant survival and detection, whose lines are shorter.
enum class Model { Full, Censoring, Constant };

const char *modelName(Model model) {
    switch (model) {
    case Model::Full:
        return "phi(t)p(t)";
    case Model::Censoring:
        return "phi(t)p(t), censoring";
    case Model::Constant:
        return "phi(.)p(.)";
    }
    return "";
}

Model modelNamed(const QString &name) {
    for (Model model : {Model::Full, Model::Censoring, Model::Constant}) {
        if (name == QLatin1String(modelName(model)))
            return model;
    }
    qFatal("no model %s", qPrintable(name));
}

ModelOptions modelFor(int periods, Model model) {
    ModelOptions options;
    options.numPeriods = periods;
    options.censoring = model == Model::Censoring;
    options.constantSurvival = model == Model::Constant;
    options.constantDetection = model == Model::Constant;
    return options;
}

quint64 fileBytes(int periods, Model model = Model::Full) {
    return modelDefinitionSize(modelFor(periods, model)).bytes.toUInt64Saturated();
}

// ---- child side: one measurement, figures on standard output ----

double writeWithWriter(Task task, const ModelOptions &options, const QString &path) {
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        qFatal("cannot open %s", qPrintable(path));
    QTextStream out(&file);
    out.setEncoding(QStringConverter::System);
    if (task == Task::StreamPath || task == Task::StreamPathKeepingHeap)
        out.setGenerateByteOrderMark(true); // a mark still to write sends text through the stream
    if (task == Task::Straightforward)
        writeStraightforwardly(out, options);
    else
        ModelDefinitionWriter::write(out, options);
    out.flush();
    file.close();
    return double(timer.nsecsElapsed()) / 1e9;
}

double writeWithSyscall(quint64 bytes, const QString &path, bool sync) {
    static char block[256 * 1024];
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
    if (sync && ::fsync(fd) != 0)
        qFatal("fsync failed");
    ::close(fd);
    return double(timer.nsecsElapsed()) / 1e9;
}

// The real create (or check) command in the real main window, its dialogs answered as an
// analyst would; a 5 ms timer on the GUI thread notes the longest gap between its ticks while
// the worker writes, finishing of the file included, or checks the file, which has the form's
// model. Returns seconds and that gap in milliseconds.
std::pair<double, double> runInTheWindow(Task task, const ModelOptions &options,
                                         const QString &path) {
    const bool checking = task == Task::GuiCheck;
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    auto *form = window.findChild<MainWidget *>();
    window.findChild<QSpinBox *>(QStringLiteral("numPeriodsSpinBox"))->setValue(options.numPeriods);
    DialogDriver driver;
    driver.saveAnswers = {path};

    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const WorkerJob *job = form->findChild<SaveJob *>();
        if (!job)
            job = form->findChild<CheckJob *>();
        if (job && job->isRunning()) {
            if (lastTick >= 0)
                longestGap = std::max(longestGap, now - lastTick);
            lastTick = now;
        } else {
            lastTick = -1;
        }
    });
    ticker.start(5);

    QEventLoop loop;
    QObject::connect(form, &MainWidget::saveFinished, &loop, &QEventLoop::quit);
    QObject::connect(form, &MainWidget::checkFinished, &loop, &QEventLoop::quit);
    const qint64 start = clock.nsecsElapsed();
    QMetaObject::invokeMethod(form, checking ? "onCheckModelDefinition" : "onCreateModelDefinition",
                              Qt::QueuedConnection);
    loop.exec();
    if (checking) {
        if (driver.results.size() != 1 || !driver.results.constFirst().verdict.contains("sound, "))
            qFatal("the check did not find the file sound and the form's");
    } else if (driver.messages.size() != 1
               || driver.messages.constFirst().icon != QMessageBox::Information) {
        qFatal("the create command did not report success");
    }
    return {double(clock.nsecsElapsed() - start) / 1e9, double(longestGap) / 1e6};
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
    const Model model = modelNamed(args.value(2));
    const ModelOptions options = modelFor(args.value(1).toInt(), model);
    const QString path = args.value(3);
    const quint64 bytes = fileBytes(options.numPeriods, model);
    double seconds = 0;
    double extra = 0;
    if (task == taskName(Task::WriteSyscall))
        seconds = writeWithSyscall(bytes, path, false);
    else if (task == taskName(Task::WriteSyscallSync))
        seconds = writeWithSyscall(bytes, path, true);
    else if (task == taskName(Task::GuiCreate))
        std::tie(seconds, extra) = runInTheWindow(Task::GuiCreate, options, path);
    else if (task == taskName(Task::GuiCheck))
        std::tie(seconds, extra) = runInTheWindow(Task::GuiCheck, options, path);
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
    else
        seconds = writeWithWriter(Task::Writer, options, path);
    std::printf("%.6f %.3f %.3f\n", seconds, peakRssMb(), extra);
    return 0;
}

// ---- parent side ----

// Runs a program to its end, its standard output into `outputFile` or captured; returns its
// wall time and what it printed.
std::pair<double, QByteArray> spawn(const QStringList &command,
                                    const QString &outputFile = QString()) {
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
    const QByteArray outputName = QFile::encodeName(outputFile);
    if (outputFile.isEmpty())
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputName.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);

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
        qFatal("%s failed", qPrintable(command.join(u' ')));
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

// Wall time, CPU time (user + system) and peak RSS of one run of a program.
struct ProcessRun {
    double wall = 0, cpu = 0, rssMb = 0;
};

struct ProcessSummary {
    Summary wall, cpu, rssMb;
};

ProcessSummary summarise(const QList<ProcessRun> &runs) {
    QList<double> wall, cpu, rss;
    for (const ProcessRun &run : runs) {
        wall.append(run.wall);
        cpu.append(run.cpu);
        rss.append(run.rssMb);
    }
    return {summarise(wall), summarise(cpu), summarise(rss)};
}

class Bench {
public:
    Bench(int runs, QString directory)
        : runs(runs)
        , directory(std::move(directory)) {}

    QString file(const QString &name) const { return directory + u'/' + name; }

    // One run of a task in a fresh child after a sync: its seconds, peak RSS and extra figure.
    QList<double> runTask(Task task, int periods, Model model, const QString &path) {
        ::sync();
        const QList<QByteArray> printed =
            spawn({QCoreApplication::applicationFilePath(), "--child", taskName(task),
                   QString::number(periods), modelName(model), path})
                .second.trimmed()
                .split(' ');
        if (path != QStringLiteral("/dev/null") && task != Task::GuiCheck)
            QFile::remove(path);
        return {printed.value(0).toDouble(), printed.value(1).toDouble(),
                printed.value(2).toDouble()};
    }

    // Median seconds and peak RSS of one task.
    std::pair<Summary, Summary> measure(Task task, int periods, Model model, bool toNull) {
        const QString path = toNull ? QStringLiteral("/dev/null") : file("bench.txt");
        QList<double> seconds, rss;
        for (int run = 0; run < runs; ++run) {
            const QList<double> figures = runTask(task, periods, model, path);
            seconds.append(figures.at(0));
            rss.append(figures.at(1));
        }
        return {summarise(seconds), summarise(rss)};
    }

    // A program run under /usr/bin/time, which forks from a small process, so that the peak
    // RSS and the CPU time are the program's own. The wall time is measured here, around the
    // whole process, start-up included: the same for every program compared.
    ProcessRun runProcess(const QStringList &command, const QString &outputFile) {
        const QString report = file("time.txt");
        ::sync();
        const double wall =
            spawn(QStringList{"/usr/bin/time", "-f", "%e %U %S %M", "-o", report} + command,
                  outputFile.isEmpty() ? QStringLiteral("/dev/null") : outputFile)
                .first;
        QFile figures(report);
        figures.open(QIODevice::ReadOnly);
        const QList<QByteArray> fields =
            figures.readAll().trimmed().split('\n').constLast().split(' ');
        return {wall, fields.value(1).toDouble() + fields.value(2).toDouble(),
                fields.value(3).toDouble() / 1024.0};
    }

    // write(2) of a file's bytes by a process of its own, timed as runProcess() times one.
    ProcessRun runWriteSyscall(int periods, bool sync, const QString &path) {
        const ProcessRun run =
            runProcess({QCoreApplication::applicationFilePath(), "--child",
                        taskName(sync ? Task::WriteSyscallSync : Task::WriteSyscall),
                        QString::number(periods), modelName(Model::Full), path},
                       QString());
        QFile::remove(path);
        return run;
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

// The writer in process, per model; the rows of constant survival and detection show whether
// its shorter lines cost more per byte.
void writerTable(Bench &bench, const QList<int> &periods, const QList<int> &constantPeriods) {
    printLine("| N | model | MB | writer to file, s | MB/s | writer to /dev/null, s | MB/s "
              "| write(2), s | writer / write(2) | peak RSS, MB |");
    printLine("|---|---|---|---|---|---|---|---|---|---|");
    QList<std::pair<int, Model>> rows;
    for (int n : periods)
        rows << std::pair(n, Model::Full) << std::pair(n, Model::Censoring);
    for (int n : constantPeriods)
        rows << std::pair(n, Model::Constant);
    for (const auto &[n, model] : std::as_const(rows)) {
        const double mb = double(fileBytes(n, model)) / 1e6;
        const auto [file, rss] = bench.measure(Task::Writer, n, model, false);
        const auto [null, nullRss] = bench.measure(Task::Writer, n, model, true);
        const auto [syscall, syscallRss] = bench.measure(Task::WriteSyscall, n, model, false);
        printLine(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 |")
                      .arg(n)
                      .arg(QLatin1String(modelName(model)))
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

void variantsTable(Bench &bench, int n) {
    printLine(QStringLiteral("\nN = %1 without censoring, into a file:\n").arg(n));
    printLine("| variant | s | MB/s | / write(2) |");
    printLine("|---|---|---|---|");
    const double mb = double(fileBytes(n)) / 1e6;
    const Summary syscall = bench.measure(Task::WriteSyscall, n, Model::Full, false).first;
    for (Task task : {Task::Straightforward, Task::StreamPath, Task::StreamPathKeepingHeap,
                      Task::Writer, Task::WriteSyscall}) {
        const Summary s =
            task == Task::WriteSyscall ? syscall : bench.measure(task, n, Model::Full, false).first;
        printLine(QStringLiteral("| %1 | %2 | %3 | %4 |")
                      .arg(taskName(task))
                      .arg(range(s, 3))
                      .arg(mb / s.median, 0, 'f', 0)
                      .arg(s.median / syscall.median, 0, 'f', 2));
    }
}

// The companion end to end against write(2) of the same bytes, the runs interleaved: into a
// file through standard output (nobody flushes) and with -o (the atomic save flushes the file
// and its directory) against write(2) with fsync.
void companionTable(Bench &bench, const QList<int> &periods, const QString &referenceCli) {
    printLine("\nCompanion against write(2) of the same bytes by a process of its own (wall time "
              "of the whole process, start-up included), runs interleaved:\n");
    printLine(
        QStringLiteral("| N | MB | `> FILE`, s | write(2), s | ratio | `-o FILE`, s "
                       "| write(2)+fsync, s | ratio | CPU `> FILE`, s %1| peak RSS, MB |")
            .arg(referenceCli.isEmpty() ? QString() : QStringLiteral("| CPU, reference, s ")));
    printLine(referenceCli.isEmpty() ? "|---|---|---|---|---|---|---|---|---|---|"
                                     : "|---|---|---|---|---|---|---|---|---|---|---|");
    const QString cli = QStringLiteral(TARSKCJS_CLI_PATH);
    const QString target = bench.file("cli.txt");
    for (int n : periods) {
        QList<ProcessRun> toStdout, toFile, reference, syscall, syscallSync;
        for (int run = 0; run < bench.runs; ++run) {
            const QString periodsText = QString::number(n);
            toStdout.append(bench.runProcess({cli, "-n", periodsText}, target));
            QFile::remove(target);
            syscall.append(bench.runWriteSyscall(n, false, target));
            toFile.append(bench.runProcess({cli, "-n", periodsText, "-o", target}, QString()));
            QFile::remove(target);
            syscallSync.append(bench.runWriteSyscall(n, true, target));
            if (!referenceCli.isEmpty()) {
                reference.append(bench.runProcess({referenceCli, "-n", periodsText}, target));
                QFile::remove(target);
            }
        }
        const ProcessSummary out = summarise(toStdout);
        const ProcessSummary saved = summarise(toFile);
        const Summary plain = summarise(syscall).wall;
        const Summary synced = summarise(syscallSync).wall;
        QList<ProcessRun> all = toStdout + toFile;
        QString line = QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |")
                           .arg(n)
                           .arg(double(fileBytes(n)) / 1e6, 0, 'f', 1)
                           .arg(range(out.wall, 3))
                           .arg(range(plain, 3))
                           .arg(out.wall.median / plain.median, 0, 'f', 2)
                           .arg(range(saved.wall, 3))
                           .arg(range(synced, 3))
                           .arg(saved.wall.median / synced.median, 0, 'f', 2)
                           .arg(range(out.cpu, 3));
        if (!referenceCli.isEmpty())
            line += QStringLiteral(" %1 |").arg(range(summarise(reference).cpu, 3));
        line += QStringLiteral(" %1 |").arg(range(summarise(all).rssMb, 1));
        printLine(line);
    }
}

// The desktop program's GUI thread while it saves: the longest time it went without running
// its event loop.
void guiGapTable(Bench &bench, const QList<int> &periods) {
    printLine("\nDesktop program, create command in the main window (offscreen), the GUI "
              "thread's longest gap while the worker saves (a 5 ms timer):\n");
    printLine("| N | MB | save, s | longest gap, ms |");
    printLine("|---|---|---|---|");
    for (int n : periods) {
        QList<double> seconds, gaps;
        for (int run = 0; run < bench.runs; ++run) {
            const QList<double> figures =
                bench.runTask(Task::GuiCreate, n, Model::Full, bench.file("gui.txt"));
            seconds.append(figures.at(0));
            gaps.append(figures.at(2));
        }
        printLine(QStringLiteral("| %1 | %2 | %3 | %4 |")
                      .arg(n)
                      .arg(double(fileBytes(n)) / 1e6, 0, 'f', 1)
                      .arg(range(summarise(seconds), 3))
                      .arg(range(summarise(gaps), 1)));
    }
}

// The same while the window checks a file the companion wrote for the form's model.
void guiCheckGapTable(Bench &bench, const QList<int> &periods) {
    printLine("\nDesktop program, check command in the main window (offscreen), the GUI thread's "
              "longest gap while the worker checks (a 5 ms timer):\n");
    printLine("| N | MB | check, s | longest gap, ms |");
    printLine("|---|---|---|---|");
    const QString model = bench.file("gui-check.txt");
    for (int n : periods) {
        spawn({QStringLiteral(TARSKCJS_CLI_PATH), "-n", QString::number(n), "-o", model});
        QList<double> seconds, gaps;
        for (int run = 0; run < bench.runs; ++run) {
            const QList<double> figures = bench.runTask(Task::GuiCheck, n, Model::Full, model);
            seconds.append(figures.at(0));
            gaps.append(figures.at(2));
        }
        QFile::remove(model);
        printLine(QStringLiteral("| %1 | %2 | %3 | %4 |")
                      .arg(n)
                      .arg(double(fileBytes(n)) / 1e6, 0, 'f', 1)
                      .arg(range(summarise(seconds), 3))
                      .arg(range(summarise(gaps), 1)));
    }
}

// --check reads the file once and evaluates every line: against `wc -l` on the same file,
// in the page cache (each is run once before measuring).
void checkTable(Bench &bench, const QList<int> &periods) {
    printLine("\nCompanion --check of a written file against `wc -l` of the same file (in the "
              "page cache), runs interleaved:\n");
    printLine("| N | MB | `--check FILE`, s | `wc -l FILE`, s | ratio | peak RSS, MB |");
    printLine("|---|---|---|---|---|---|");
    const QString cli = QStringLiteral(TARSKCJS_CLI_PATH);
    const QString model = bench.file("check.txt");
    for (int n : periods) {
        spawn({cli, "-n", QString::number(n), "-o", model});
        const QStringList check = {cli, "--check", model};
        const QStringList count = {QStringLiteral("/usr/bin/wc"), "-l", model};
        bench.runProcess(check, QString());
        bench.runProcess(count, QString());
        QList<ProcessRun> checks, counts;
        for (int run = 0; run < bench.runs; ++run) {
            checks.append(bench.runProcess(check, QString()));
            counts.append(bench.runProcess(count, QString()));
        }
        const ProcessSummary checked = summarise(checks);
        const Summary counted = summarise(counts).wall;
        printLine(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                      .arg(n)
                      .arg(double(fileBytes(n)) / 1e6, 0, 'f', 1)
                      .arg(range(checked.wall, 3))
                      .arg(range(counted, 3))
                      .arg(checked.wall.median / counted.median, 0, 'f', 1)
                      .arg(range(checked.rssMb, 1)));
        QFile::remove(model);
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
            sink += modelDefinitionSize(modelFor(99, i % 2 == 1 ? Model::Censoring : Model::Full))
                        .bytes;
        micros.append(double(timer.nsecsElapsed()) / 1e3 / calls);
        if (sink == 0)
            qFatal("no size");
    }
    printLine(QStringLiteral("\nSize arithmetic for N = 99 (what --stats computes): %1 us a call")
                  .arg(range(summarise(micros), 1)));
}

QList<int> numbers(const QString &list) {
    QList<int> values;
    for (const QString &n : list.split(u',', Qt::SkipEmptyParts))
        values.append(n.toInt());
    return values;
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc > 2 && qstrcmp(argv[1], "--child") == 0) {
        if (qstrcmp(argv[2], taskName(Task::GuiCreate)) == 0
            || qstrcmp(argv[2], taskName(Task::GuiCheck)) == 0) {
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
    // The GUI children must never touch the real settings.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));

    QCommandLineParser parser;
    parser.setApplicationDescription("Benchmark of the model definition writer.");
    parser.addHelpOption();
    const QCommandLineOption runsOption("runs", "Runs per measurement (default 5).", "K", "5");
    const QCommandLineOption dirOption("dir", "Directory for the files (default: a temporary one).",
                                       "DIR");
    const QCommandLineOption periodsOption("periods", "Periods to measure (default 16,20,22,24).",
                                           "LIST", "16,20,22,24");
    const QCommandLineOption constantOption(
        "constant-periods",
        "Periods for the writer's rows with constant survival and detection (default 22).", "LIST",
        "22");
    const QCommandLineOption guiOption(
        "gui-periods", "Periods for the GUI thread's gap (default 22,24).", "LIST", "22,24");
    const QCommandLineOption guiCheckOption(
        "gui-check-periods", "Periods for the GUI thread's gap while it checks (default 22).",
        "LIST", "22");
    const QCommandLineOption checkOption("check-periods", "Periods for --check (default 20,22).",
                                         "LIST", "20,22");
    const QCommandLineOption noBaselineOption(
        "no-baseline", "Skip the writer's variants (slow: about 20 s a run at N = 22).");
    const QCommandLineOption referenceOption(
        "reference-cli", "Another build of the companion whose CPU time to show beside.", "PATH");
    parser.addOptions({runsOption, dirOption, periodsOption, constantOption, guiOption,
                       guiCheckOption, checkOption, noBaselineOption, referenceOption});
    parser.process(app);

    QTemporaryDir temporary(parser.value(dirOption).isEmpty()
                                ? QString()
                                : parser.value(dirOption) + "/tarskcjs-bench-XXXXXX");
    if (!temporary.isValid())
        qFatal("cannot create a temporary directory");
    const QList<int> periods = numbers(parser.value(periodsOption));

    Bench bench(std::max(1, parser.value(runsOption).toInt()), temporary.path());
    printLine(QStringLiteral("Medians of %1 runs (min-max); files in %2\n")
                  .arg(bench.runs)
                  .arg(temporary.path()));
    writerTable(bench, periods, numbers(parser.value(constantOption)));
    if (!parser.isSet(noBaselineOption))
        variantsTable(bench, 22);
    companionTable(bench, periods, parser.value(referenceOption));
    guiGapTable(bench, numbers(parser.value(guiOption)));
    guiCheckGapTable(bench, numbers(parser.value(guiCheckOption)));
    checkTable(bench, numbers(parser.value(checkOption)));
    statsArithmetic();
    return 0;
}
