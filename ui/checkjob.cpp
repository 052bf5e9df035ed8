// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkjob.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

ModelCheckResult unreadable(const QString &reason) {
    ModelCheckResult result;
    result.verdict = ModelCheckResult::Verdict::Unreadable;
    result.readError = reason;
    return result;
}

#ifdef Q_OS_UNIX

// How long a read that has nothing yet waits before it asks again whether to stop.
constexpr int WaitIntervalMs = 100;

// Reads a descriptor opened without blocking. An empty FIFO waits in poll(), which on a FIFO
// that no writer has opened yet reports nothing rather than the end: the check waits for the
// first writer and ends when the last one has gone.
class WaitingReader : public QIODevice {
public:
    WaitingReader(int descriptor, std::function<bool()> stopRequested)
        : descriptor(descriptor)
        , stopRequested(std::move(stopRequested)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    ~WaitingReader() override { ::close(descriptor); }
    bool isSequential() const override { return true; }
    bool waitForReadyRead(int) override { return !ended; }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        for (;;) {
            if (stopRequested && stopRequested()) {
                setErrorString(QStringLiteral("cancelled"));
                return -1;
            }
            pollfd readable{descriptor, POLLIN, 0};
            const int ready = ::poll(&readable, 1, WaitIntervalMs);
            if (ready == 0 || (ready < 0 && errno == EINTR))
                continue;
            const ssize_t got = ready < 0 ? -1 : ::read(descriptor, data, size_t(maxSize));
            if (got >= 0) {
                ended = got == 0;
                return got;
            }
            if (errno != EAGAIN && errno != EINTR) {
                setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
                return -1;
            }
        }
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const int descriptor;
    const std::function<bool()> stopRequested;
    bool ended = false;
};

ModelCheckResult checkSpecialFile(const QString &fileName, const ModelCheckSettings &settings,
                                  const std::function<bool()> &stopRequested) {
    const int descriptor = ::open(QFile::encodeName(fileName).constData(),
                                  O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return unreadable(QString::fromLocal8Bit(std::strerror(errno)));
    WaitingReader device(descriptor, stopRequested);
    return checkModelDefinition(device, settings);
}

#endif

} // namespace

ModelCheckResult checkModelDefinitionFile(const QString &fileName,
                                          const ModelCheckSettings &settings,
                                          const std::function<bool()> &stopRequested) {
    const QFileInfo info(fileName);
    if (info.isDir())
        return unreadable(CheckJob::tr("It is a directory."));
#ifdef Q_OS_UNIX
    if (info.exists() && !info.isFile())
        return checkSpecialFile(fileName, settings, stopRequested);
#endif
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    return checkModelDefinition(file, settings);
}

CheckJob::CheckJob(const QString &fileName, const ModelOptions &form, QObject *parent)
    : CheckJob(
        [this, fileName, form](const Progress &progress) {
            ModelCheckSettings settings;
            settings.expected = form;
            settings.progress = progress;
            return checkModelDefinitionFile(fileName, settings,
                                            [this] { return isCancelRequested(); });
        },
        parent) {}

CheckJob::CheckJob(Work work, QObject *parent)
    : WorkerJob(parent)
    , work(std::move(work)) {}

CheckJob::~CheckJob() {
    stopWorker();
}

// Runs on the worker thread.
void CheckJob::run() {
    outcome = work([this](qint64 bytesRead, qint64 totalBytes) {
        read.store(bytesRead);
        total.store(totalBytes);
        return !isCancelRequested();
    });
    // Also a stop heard while a device was waiting, which reads as a failed device.
    if (isCancelRequested())
        outcome.verdict = ModelCheckResult::Verdict::Cancelled;
}
