// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelfilesaver.h"

#include "descriptordevice.h"
#include "filemetadata.h"
#include "modeloptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelFileSaver", text);
}

// How the writing ended, for any device.
SaveResult writeInto(QIODevice &device, const ModelOptions &options, const SaveMonitor &monitor) {
    QTextStream out(&device);
    out.setEncoding(QStringConverter::System);
    const auto outcome = ModelDefinitionWriter::write(out, options, monitor.progress);
    out.flush();
    if (outcome == ModelDefinitionWriter::Outcome::Cancelled)
        return {SaveResult::Status::Cancelled, QString()};
    if (outcome == ModelDefinitionWriter::Outcome::Failed || out.status() != QTextStream::Ok)
        return {SaveResult::Status::WriteFailed, device.errorString()};
    return {SaveResult::Status::Saved, QString()};
}

QString openFailure(const QString &reason, const QString &directory) {
    const QFileInfo info(directory);
    if (info.isDir() && !info.isWritable()) {
        return tr("%1; the file is replaced through a new file beside it, so the directory "
                  "must be writable")
            .arg(reason);
    }
    return reason;
}

#ifdef Q_OS_UNIX

// Brings the file's data and its metadata (the mode and attributes it took over) to the disk
// and says why that failed; empty when it succeeded or the file system cannot flush (the write
// itself stands then). QSaveFile::commit() flushes too but does not look at the result, and a
// file whose data never reached the disk must not replace the earlier one.
QString flushToDisk(int handle) {
    while (::fsync(handle) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
            return QString();
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    return QString();
}

// The file is flushed to the disk at the end anyway: asking the kernel at every progress point
// to start writing what is there lets the disk work while the text is still being made,
// instead of making the flush at the end wait for all of it. (Measured at N = 22: the save
// took 0.5 s instead of 1.0 s, for the same CPU time.)
SaveMonitor writingBackEarly(const SaveMonitor &monitor, int handle) {
    SaveMonitor early = monitor;
#ifdef Q_OS_LINUX
    early.progress = [progress = monitor.progress, handle](quint64 done, quint64 total) {
        ::sync_file_range(handle, 0, 0, SYNC_FILE_RANGE_WRITE); // a hint: the flush reports
        return !progress || progress(done, total);
    };
#else
    Q_UNUSED(handle);
#endif
    return early;
}

// After a rename the new name is only safe from a crash once its directory reaches the disk.
void flushDirectory(const QString &directory) {
    const int handle =
        ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    ::fsync(handle); // some file systems cannot flush a directory; the rename stands anyway
    ::close(handle);
}

// A FIFO stays non-blocking: a reader that stops reading (a pager, a suspended job) would
// otherwise hold a write that no Cancel can end; the writing waits for room in steps instead.
bool keepsWaitingInSteps(const OutputTarget &target) {
    return target.fileType == S_IFIFO;
}

// A device is written as anyone who opens it writes it, waiting in the write when it must.
bool writesBlocking(int handle, QString &error) {
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags >= 0 && ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) == 0)
        return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

// A FIFO without a reader refuses a writer that does not wait (ENXIO); waiting in small steps
// instead of blocking lets the caller give up. Meanwhile the name may come to stand for
// something else: what is opened must be what was chosen, and a regular file that took the
// FIFO's place is left as it is.
int openWaiting(const OutputTarget &target, const SaveMonitor &monitor, QString &error) {
    const QByteArray name = QFile::encodeName(target.path);
    for (;;) {
        const int handle = ::open(name.constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (handle >= 0) {
            error = openedTargetChange(target, handle);
            if (error.isEmpty() && (keepsWaitingInSteps(target) || writesBlocking(handle, error)))
                return handle;
            ::close(handle);
            return -1;
        }
        if (errno != ENXIO && errno != EINTR) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        if (monitor.stopRequested && monitor.stopRequested())
            return -1; // error stays empty: cancelled
        ::usleep(50 * 1000);
    }
}

SaveResult saveToDevice(const OutputTarget &target, const ModelOptions &options,
                        const SaveMonitor &monitor) {
    QString error;
    const int handle = openWaiting(target, monitor, error);
    if (handle < 0) {
        if (error.isEmpty())
            return {SaveResult::Status::Cancelled, QString()};
        return {SaveResult::Status::OpenFailed, error};
    }
    DescriptorDevice device(handle, DescriptorDevice::Ownership::Owned, monitor.stopRequested);
    SaveResult result = writeInto(device, options, monitor);
    if (device.wasInterrupted())
        result = {SaveResult::Status::Cancelled, QString()};
    if (!device.closeDescriptor() && result.status == SaveResult::Status::Saved)
        result = {SaveResult::Status::WriteFailed, device.errorString()};
    return result;
}

SaveResult saveToDescriptor(const OutputTarget &target, const ModelOptions &options,
                            const SaveMonitor &monitor) {
    DescriptorDevice device(target.descriptor, DescriptorDevice::Ownership::Borrowed,
                            monitor.stopRequested);
    const SaveResult result = writeInto(device, options, monitor);
    if (device.wasInterrupted())
        return {SaveResult::Status::Cancelled, QString()};
    return result;
}

#else

SaveMonitor writingBackEarly(const SaveMonitor &monitor, int) {
    return monitor;
}
QString flushToDisk(int) {
    return QString();
}
void flushDirectory(const QString &) {}

SaveResult saveToDescriptor(const OutputTarget &target, const ModelOptions &options,
                            const SaveMonitor &monitor) {
    QFile file;
    if (!file.open(target.descriptor, QIODevice::WriteOnly | QIODevice::Text,
                   QFileDevice::DontCloseHandle))
        return {SaveResult::Status::OpenFailed, file.errorString()};
    SaveResult result = writeInto(file, options, monitor);
    if (result.status == SaveResult::Status::Saved && !file.flush())
        result = {SaveResult::Status::WriteFailed, file.errorString()};
    return result;
}

SaveResult saveToDevice(const OutputTarget &target, const ModelOptions &options,
                        const SaveMonitor &monitor) {
    QFile file(target.path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered))
        return {SaveResult::Status::OpenFailed, file.errorString()};
    return writeInto(file, options, monitor);
}

#endif

// Why the file could not be put in place of what the resolution found, or an empty string:
// the name changed hands meanwhile, or the earlier file's owner, attributes or mode cannot be
// carried over.
QString takeThePlaceOf(const OutputTarget &target, const QSaveFile &file) {
    if (const QString changed = targetChange(target); !changed.isEmpty())
        return changed;
    return target.existed ? takeOverMetadata(file.handle(), target.path) : QString();
}

SaveResult saveToFile(const OutputTarget &target, const ModelOptions &options,
                      const SaveMonitor &monitor) {
    // Unbuffered: Qt 6.4's QSaveFile::commit() ignores a failure of the flush it does itself
    // and would put a truncated file in place. The writer hands over large blocks anyway.
    QSaveFile file(target.path);
    const QString directory = QFileInfo(target.path).absolutePath();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered)) {
        const QString throughLinks = unreachableThroughLinks(target);
        return {SaveResult::Status::OpenFailed,
                throughLinks.isEmpty() ? openFailure(file.errorString(), directory) : throughLinks};
    }
    const auto fail = [&file](const QString &reason) {
        file.cancelWriting();
        return SaveResult{SaveResult::Status::WriteFailed, reason};
    };

    const SaveResult result = writeInto(file, options, writingBackEarly(monitor, file.handle()));
    if (result.status != SaveResult::Status::Saved) {
        const QString reason = file.errorString();
        file.cancelWriting();
        if (result.status == SaveResult::Status::WriteFailed)
            return {result.status, result.errorString.isEmpty() ? reason : result.errorString};
        return result;
    }
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (monitor.finishing)
        monitor.finishing();
    if (const QString refused = takeThePlaceOf(target, file); !refused.isEmpty())
        return fail(refused);
    if (const QString flushFailed = flushToDisk(file.handle()); !flushFailed.isEmpty())
        return fail(flushFailed);
    if (!file.commit())
        return {SaveResult::Status::WriteFailed, file.errorString()};
    flushDirectory(directory);
    return {SaveResult::Status::Saved, QString()};
}

} // namespace

SaveResult saveModelDefinition(const OutputTarget &target, const ModelOptions &options,
                               const SaveMonitor &monitor) {
    switch (target.kind) {
    case OutputTarget::Kind::File:
        return saveToFile(target, options, monitor);
    case OutputTarget::Kind::Device:
        return saveToDevice(target, options, monitor);
    case OutputTarget::Kind::Descriptor:
        return saveToDescriptor(target, options, monitor);
    case OutputTarget::Kind::Refused:
        return {SaveResult::Status::OpenFailed, target.problem};
    }
    return {SaveResult::Status::OpenFailed, target.problem};
}
