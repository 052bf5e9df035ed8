// SPDX-License-Identifier: GPL-3.0-or-later
#include "positionedfile.h"

#include "descriptordevice.h"

#include <QFileDevice>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

int descriptorOf(const QIODevice *device) {
    if (const auto *file = qobject_cast<const QFileDevice *>(device))
        return file->handle();
    if (const auto *descriptor = qobject_cast<const DescriptorDevice *>(device))
        return descriptor->handle();
    return -1;
}

#ifdef Q_OS_UNIX

std::optional<PositionedFile> PositionedFile::of(QIODevice *device) {
    auto *file = qobject_cast<QFileDevice *>(device);
    if (file && !file->flush())
        return std::nullopt;
    const int handle = descriptorOf(device);
    struct stat info {};
    if (handle < 0 || ::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags == -1 || (flags & O_APPEND))
        return std::nullopt;
    const off_t offset = ::lseek(handle, 0, SEEK_CUR);
    // A file device that keeps a position of its own must agree with its descriptor.
    if (offset < 0 || (file && file->pos() != qint64(offset)))
        return std::nullopt;
    return PositionedFile(device, handle, quint64(offset), quint64(info.st_size));
}

void PositionedFile::reserve(quint64 bytes) const {
#ifdef Q_OS_LINUX
    // tmpfs would clear every page of the reservation first, which costs more than it saves.
    struct statfs volume {};
    if (bytes == 0 || ::fstatfs(handle, &volume) != 0 || volume.f_type == TMPFS_MAGIC)
        return;
    if (::fallocate(handle, FALLOC_FL_KEEP_SIZE, off_t(begin), off_t(bytes)) != 0) {
        // Not supported here, or no room: the writes find out for themselves.
    }
#else
    Q_UNUSED(bytes);
#endif
}

qsizetype PositionedFile::writeAt(const char *data, qsizetype size, quint64 offset) const {
    qsizetype done = 0;
    while (done < size) {
        const ssize_t written =
            ::pwrite(handle, data + done, size_t(size - done), off_t(offset + quint64(done)));
        if (written > 0)
            done += qsizetype(written);
        else if (written == 0)
            errno = EIO;
        if (written <= 0 && errno != EINTR)
            break;
    }
    return done;
}

bool PositionedFile::moveTo(quint64 offset) const {
    if (device->isSequential())
        return ::lseek(handle, off_t(offset), SEEK_SET) == off_t(offset);
    return device->seek(qint64(offset));
}

void PositionedFile::cutBackTo(quint64 end) const {
    const quint64 keep = std::max(end, sizeBefore);
    struct stat info {};
    if (::fstat(handle, &info) == 0 && quint64(info.st_size) >= keep
        && ::ftruncate(handle, off_t(keep)) != 0) {
        // Nothing more to be done: the caller reports the failure that brought us here.
    }
    ::lseek(handle, off_t(end), SEEK_SET);
}

#else

std::optional<PositionedFile> PositionedFile::of(QIODevice *) {
    return std::nullopt; // Windows writes a regular file in text mode: one writer only
}

void PositionedFile::reserve(quint64) const {}

qsizetype PositionedFile::writeAt(const char *, qsizetype, quint64) const {
    return 0;
}

bool PositionedFile::moveTo(quint64) const {
    return false;
}

void PositionedFile::cutBackTo(quint64) const {}

#endif
