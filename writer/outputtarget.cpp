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
#include <cstring>
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

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void noteWhatIsThere(OutputTarget &target, const struct stat &info) {
    target.existed = true;
    target.fileType = quint32(info.st_mode & S_IFMT);
    target.device = quint64(info.st_dev);
    target.inode = quint64(info.st_ino);
}

OutputTarget targetForExisting(const QString &name, const QString &path, const struct stat &info) {
    OutputTarget target;
    target.name = name;
    target.path = path;
    if (S_ISREG(info.st_mode))
        target.kind = OutputTarget::Kind::File;
    else if (S_ISDIR(info.st_mode))
        return refused(name, tr("it is a directory"));
    else if (S_ISSOCK(info.st_mode))
        return refused(name, tr("it is a socket, which cannot be opened as a file"));
    else
        target.kind = OutputTarget::Kind::Device;
    noteWhatIsThere(target, info);
    return target;
}

// "a FIFO", as a message names what stands at a path.
QString kindOfFile(quint32 fileType) {
    switch (fileType) {
    case S_IFREG:
        return tr("a regular file");
    case S_IFIFO:
        return tr("a FIFO");
    case S_IFCHR:
        return tr("a character device");
    case S_IFBLK:
        return tr("a block device");
    case S_IFDIR:
        return tr("a directory");
    case S_IFSOCK:
        return tr("a socket");
    case S_IFLNK:
        return tr("a symbolic link");
    default:
        return tr("a special file");
    }
}

// Compares what was resolved with what stands there now (`now` null: nothing).
QString changeFrom(const OutputTarget &target, const struct stat *now) {
    const quint32 fileType = now ? quint32(now->st_mode & S_IFMT) : 0;
    if (!target.existed && !now)
        return QString();
    if (target.existed && now && fileType == target.fileType
        && quint64(now->st_dev) == target.device && quint64(now->st_ino) == target.inode)
        return QString();
    if (!now)
        return tr("it was removed after it was chosen");
    if (!target.existed)
        return tr("%1 was put there after it was chosen").arg(kindOfFile(fileType));
    const QString after = fileType == target.fileType ? tr("another one") : kindOfFile(fileType);
    return tr("it was replaced after it was chosen: it was %1, now it is %2")
        .arg(kindOfFile(target.fileType), after);
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
// names the file that saving creates. A chain longer than the kernel would follow is a loop,
// and replacing its last link by a file would break the loop's other links.
OutputTarget resolveOutputTarget(const QString &name) {
    QString path = name;
    bool throughLinks = false;
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
        if (::lstat(encoded(path).constData(), &info) != 0) {
            // Nothing there yet, or no way there: opening the file will say which.
            OutputTarget target;
            target.name = name;
            target.path = path;
            target.throughLinks = throughLinks;
            return target;
        }
        if (S_ISLNK(info.st_mode)) {
            path = followLink(path);
            throughLinks = true;
            continue;
        }
        OutputTarget target = targetForExisting(name, path, info);
        target.throughLinks = throughLinks;
        return target;
    }
    return refused(name, systemReason(ELOOP));
}

QString openedTargetChange(const OutputTarget &target, int descriptor) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0)
        return systemReason(errno);
    return changeFrom(target, &info);
}

QString targetChange(const OutputTarget &target) {
    struct stat info {};
    if (::lstat(encoded(target.path).constData(), &info) != 0)
        return errno == ENOENT ? changeFrom(target, nullptr) : systemReason(errno);
    return changeFrom(target, &info);
}

QString unreachableThroughLinks(const OutputTarget &target) {
    if (!target.throughLinks)
        return QString();
    const QString shownPath = QDir::cleanPath(target.path);
    const QString directory = QFileInfo(shownPath).path();
    // The first directory on the way that is missing or is not one.
    const QStringList parts = directory.split(u'/');
    QString prefix;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        prefix += (i > 0 ? QStringLiteral("/") : QString()) + parts.at(i);
        if (prefix.isEmpty())
            continue; // the root of an absolute path
        struct stat info {};
        if (::stat(encoded(prefix).constData(), &info) != 0) {
            if (errno != ENOENT)
                return QString(); // the system's own reason says it
            return tr("it is a link that leads to \"%1\", but the directory \"%2\" does not "
                      "exist")
                .arg(shownPath, prefix);
        }
        if (!S_ISDIR(info.st_mode)) {
            return tr("it is a link that leads to \"%1\", but \"%2\" is not a directory")
                .arg(shownPath, prefix);
        }
    }
    return QString();
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
        return refused(name, tr("it is a directory"));
    OutputTarget target;
    target.name = name;
    target.path = info.filePath();
    return target;
}

QString openedTargetChange(const OutputTarget &, int) {
    return QString();
}

QString targetChange(const OutputTarget &) {
    return QString();
}

QString unreachableThroughLinks(const OutputTarget &) {
    return QString();
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
