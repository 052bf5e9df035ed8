// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelfilesaver.h"

#include "descriptordevice.h"
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

// Gives the new file the owner and group of the one it replaces, as far as the process may:
// root may give both, a member of the file's group at least the group.
void keepOwnership(const QSaveFile &file, const QString &replaced) {
    struct stat earlier {};
    if (::stat(QFile::encodeName(replaced).constData(), &earlier) != 0)
        return;
    const int handle = file.handle();
    if (::fchown(handle, earlier.st_uid, earlier.st_gid) == 0)
        return;
    if (::fchown(handle, uid_t(-1), earlier.st_gid) != 0) {
        // Not a member of that group either: the new file keeps the process's own.
    }
}

// Brings the file's data to the disk and says why that failed; empty when it succeeded or the
// file system cannot flush (the write itself stands then). QSaveFile::commit() flushes too but
// does not look at the result, and a file whose data never reached the disk must not replace
// the earlier one.
QString flushToDisk(int handle) {
    while (::fdatasync(handle) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
            return QString();
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    return QString();
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

// A FIFO without a reader refuses a writer that does not wait (ENXIO); waiting in small steps
// instead of blocking lets the caller give up.
int openWaiting(const QString &path, const SaveMonitor &monitor, int &error) {
    const QByteArray name = QFile::encodeName(path);
    for (;;) {
        const int handle = ::open(name.constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (handle >= 0 || (errno != ENXIO && errno != EINTR)) {
            error = errno;
            return handle;
        }
        if (monitor.stopRequested && monitor.stopRequested()) {
            error = EINTR;
            return -1;
        }
        ::usleep(50 * 1000);
    }
}

SaveResult saveToDevice(const OutputTarget &target, const ModelOptions &options,
                        const SaveMonitor &monitor) {
    int error = 0;
    const int handle = openWaiting(target.path, monitor, error);
    if (handle < 0) {
        if (error == EINTR)
            return {SaveResult::Status::Cancelled, QString()};
        return {SaveResult::Status::OpenFailed, QString::fromLocal8Bit(std::strerror(error))};
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

void keepOwnership(const QSaveFile &, const QString &) {}
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

SaveResult saveToFile(const OutputTarget &target, const ModelOptions &options,
                      const SaveMonitor &monitor) {
    // Unbuffered: Qt 6.4's QSaveFile::commit() ignores a failure of the flush it does itself
    // and would put a truncated file in place. The writer hands over large blocks anyway.
    QSaveFile file(target.path);
    const QString directory = QFileInfo(target.path).absolutePath();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered))
        return {SaveResult::Status::OpenFailed, openFailure(file.errorString(), directory)};
    keepOwnership(file, target.path);

    const SaveResult result = writeInto(file, options, monitor);
    if (result.status != SaveResult::Status::Saved) {
        const QString reason = file.errorString();
        file.cancelWriting();
        if (result.status == SaveResult::Status::WriteFailed)
            return {result.status, result.errorString.isEmpty() ? reason : result.errorString};
        return result;
    }
    if (file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {SaveResult::Status::WriteFailed, reason};
    }
    if (monitor.finishing)
        monitor.finishing();
    const QString flushFailed = flushToDisk(file.handle());
    if (!flushFailed.isEmpty()) {
        file.cancelWriting();
        return {SaveResult::Status::WriteFailed, flushFailed};
    }
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
