// SPDX-License-Identifier: GPL-3.0-or-later
#include "outputtarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("OutputTarget", text);
}

OutputTarget refused(const QString &name, const QString &problem) {
    OutputTarget target;
    target.kind = OutputTarget::Kind::Refused;
    target.name = name;
    target.problem = problem;
    return target;
}

#ifdef Q_OS_UNIX

constexpr int MaxLinks = 40; // as the kernel's own limit on a chain of links

QByteArray encoded(const QString &path) {
    return QFile::encodeName(path);
}

// The directory that holds this process's open descriptors, as the kernel names it:
// /dev/fd and /proc/self/fd lead there.
QString ownDescriptorDirectory() {
    return QStringLiteral("/proc/%1/fd").arg(qint64(::getpid()));
}

QString canonicalDirectoryOf(const QString &path) {
    char resolved[PATH_MAX];
    const QString directory = QFileInfo(path).path();
    if (!::realpath(encoded(directory).constData(), resolved))
        return QString();
    return QFile::decodeName(resolved);
}

// The descriptor a path names when it leads into this process's descriptor directory.
int descriptorNamed(const QString &path) {
    if (canonicalDirectoryOf(path) != ownDescriptorDirectory())
        return -1;
    bool ok = false;
    const int descriptor = QFileInfo(path).fileName().toInt(&ok);
    return ok && descriptor >= 0 ? descriptor : -1;
}

// One step along a symbolic link; a relative link is relative to the link's directory.
QString followLink(const QString &link) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(encoded(link).constData(), target, sizeof target);
    if (length <= 0)
        return link;
    const QString next = QFile::decodeName(QByteArray(target, length));
    return QDir::isAbsolutePath(next) ? next : QFileInfo(link).path() + u'/' + next;
}

OutputTarget targetForExisting(const QString &name, const QString &path, const struct stat &info) {
    OutputTarget target;
    target.name = name;
    target.path = path;
    if (S_ISREG(info.st_mode))
        target.kind = OutputTarget::Kind::File;
    else if (S_ISDIR(info.st_mode))
        return refused(name, tr("is a directory"));
    else if (S_ISSOCK(info.st_mode))
        return refused(name, tr("is a socket, which cannot be opened as a file"));
    else
        target.kind = OutputTarget::Kind::Device;
    return target;
}

#endif

} // namespace

OutputTarget OutputTarget::standardOutput() {
    OutputTarget target;
    target.kind = Kind::Descriptor;
    target.name = QCoreApplication::translate("OutputTarget", "standard output");
    target.descriptor = 1;
    return target;
}

#ifdef Q_OS_UNIX

// Follows the links one at a time, as the atomic save must: a link that leads nowhere still
// names the file that saving creates.
OutputTarget resolveOutputTarget(const QString &name) {
    QString path = name;
    for (int step = 0; step <= MaxLinks; ++step) {
        const int descriptor = descriptorNamed(path);
        if (descriptor >= 0) {
            OutputTarget target;
            target.kind = OutputTarget::Kind::Descriptor;
            target.name = name;
            target.descriptor = descriptor;
            return target;
        }
        struct stat info {};
        if (::lstat(encoded(path).constData(), &info) != 0)
            break; // nothing there yet, or no way there: opening the file will say which
        if (S_ISLNK(info.st_mode)) {
            path = followLink(path);
            continue;
        }
        return targetForExisting(name, path, info);
    }
    OutputTarget target;
    target.name = name;
    target.path = path;
    return target;
}

namespace {

FreeSpace measured(const struct statvfs &volume, UInt128 neededBytes) {
    FreeSpace space;
    space.needed = neededBytes;
    space.known = true;
    space.available = qint64(volume.f_bavail) * qint64(volume.f_frsize);
    return space;
}

} // namespace

FreeSpace freeSpaceFor(const OutputTarget &target, UInt128 neededBytes) {
    FreeSpace unknown;
    unknown.needed = neededBytes;
    struct statvfs volume {};
    switch (target.kind) {
    case OutputTarget::Kind::File: {
        const QString directory = QFileInfo(target.path).absolutePath();
        if (::statvfs(encoded(directory).constData(), &volume) == 0)
            return measured(volume, neededBytes);
        return unknown;
    }
    case OutputTarget::Kind::Descriptor: {
        struct stat info {};
        if (::fstat(target.descriptor, &info) == 0 && S_ISREG(info.st_mode)
            && ::fstatvfs(target.descriptor, &volume) == 0)
            return measured(volume, neededBytes);
        return unknown;
    }
    case OutputTarget::Kind::Device:
    case OutputTarget::Kind::Refused:
        return unknown;
    }
    return unknown;
}

#else

OutputTarget resolveOutputTarget(const QString &name) {
    QFileInfo info(name);
    if (info.isSymLink())
        info.setFile(info.symLinkTarget());
    if (info.isDir())
        return refused(name, tr("is a directory"));
    OutputTarget target;
    target.name = name;
    target.path = info.filePath();
    return target;
}

FreeSpace freeSpaceFor(const OutputTarget &target, UInt128 neededBytes) {
    FreeSpace space;
    space.needed = neededBytes;
    if (target.kind != OutputTarget::Kind::File)
        return space;
    const QStorageInfo volume(QFileInfo(target.path).absolutePath());
    if (volume.isValid() && volume.isReady()) {
        space.known = true;
        space.available = volume.bytesAvailable();
    }
    return space;
}

#endif
