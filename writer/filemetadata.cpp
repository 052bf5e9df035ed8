// SPDX-License-Identifier: GPL-3.0-or-later
#include "filemetadata.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

#ifdef Q_OS_UNIX

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("FileMetadata", text);
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString octal(mode_t mode) {
    return QStringLiteral("%1").arg(uint(mode), 4, 8, QLatin1Char('0'));
}

struct Ownership {
    bool owner = false;
    bool group = false;
};

Ownership keepOwnership(int handle, const struct stat &earlier) {
    if (::fchown(handle, earlier.st_uid, earlier.st_gid) == 0)
        return {true, true};
    if (::fchown(handle, uid_t(-1), earlier.st_gid) == 0)
        return {false, true};
    return {}; // the new file keeps the process's own
}

#ifdef Q_OS_LINUX

const QByteArray AccessAcl = QByteArrayLiteral("system.posix_acl_access");

// "its access control list", "its extended attribute "user.note"".
QString attributeName(const QByteArray &name) {
    if (name == AccessAcl)
        return tr("its access control list (ACL)");
    return tr("its extended attribute \"%1\"").arg(QString::fromUtf8(name));
}

bool unsupported(int error) {
    return error == ENOTSUP || error == ENOSYS;
}

// The names of a file's extended attributes; `ok` false with errno set when they cannot be
// listed. A file system without them has none.
template<class List> QList<QByteArray> attributeNames(List list, bool &ok) {
    ok = true;
    for (;;) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0) {
            ok = unsupported(errno);
            return {};
        }
        QByteArray names(size, Qt::Uninitialized);
        const ssize_t got = list(names.data(), size_t(names.size()));
        if (got < 0 && errno == ERANGE)
            continue; // an attribute came meanwhile
        if (got < 0) {
            ok = unsupported(errno);
            return {};
        }
        names.truncate(got);
        QList<QByteArray> result = names.split('\0');
        result.removeAll(QByteArray());
        return result;
    }
}

template<class Get> bool attributeValue(Get get, QByteArray &value) {
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        value.resize(size);
        const ssize_t got = get(value.data(), size_t(value.size()));
        if (got < 0 && errno == ERANGE)
            continue;
        if (got < 0)
            return false;
        value.truncate(got);
        return true;
    }
}

// The new file gets exactly the earlier one's attributes: each that differs is set, and each
// that the new file has besides (an ACL inherited from the directory) is removed, except the
// security labels that the system gives every file itself.
QString takeOverAttributes(int handle, const QByteArray &earlierPath) {
    const char *path = earlierPath.constData();
    bool listed = false;
    const QList<QByteArray> wanted = attributeNames(
        [path](char *list, size_t size) { return ::llistxattr(path, list, size); }, listed);
    if (!listed)
        return tr("cannot read the extended attributes of the earlier file: %1")
            .arg(systemReason(errno));
    const QList<QByteArray> present = attributeNames(
        [handle](char *list, size_t size) { return ::flistxattr(handle, list, size); }, listed);

    for (const QByteArray &name : wanted) {
        QByteArray value, current;
        if (!attributeValue(
                [&](void *data, size_t size) { return ::lgetxattr(path, name, data, size); },
                value)) {
            return tr("cannot read %1 of the earlier file: %2")
                .arg(attributeName(name), systemReason(errno));
        }
        const bool same =
            present.contains(name)
            && attributeValue(
                [&](void *data, size_t size) { return ::fgetxattr(handle, name, data, size); },
                current)
            && current == value;
        if (!same && ::fsetxattr(handle, name, value.constData(), size_t(value.size()), 0) != 0) {
            return tr("cannot give the new file %1 of the earlier file: %2")
                .arg(attributeName(name), systemReason(errno));
        }
    }
    for (const QByteArray &name : present) {
        if (wanted.contains(name) || name.startsWith("security."))
            continue;
        if (::fremovexattr(handle, name) != 0 && errno != ENODATA) {
            return tr("cannot remove %1 from the new file, which the earlier file does not have: "
                      "%2")
                .arg(attributeName(name), systemReason(errno));
        }
    }
    return QString();
}

#else

QString takeOverAttributes(int, const QByteArray &) {
    return QString();
}

#endif

} // namespace

// Owner and group first: changing them clears setuid and setgid. Then the attributes: setting
// the access ACL rewrites the mode's permission bits. The mode last: its group bits become the
// ACL's mask, which they were in the earlier file too.
QString takeOverMetadata(int handle, const QString &earlierPath) {
    const QByteArray path = QFile::encodeName(earlierPath);
    struct stat earlier {};
    if (::lstat(path.constData(), &earlier) != 0)
        return tr("cannot read the permissions of the earlier file: %1").arg(systemReason(errno));
    const mode_t mode = earlier.st_mode & 07777;

    const Ownership kept = keepOwnership(handle, earlier);
    if ((mode & S_ISUID) && !kept.owner) {
        return tr("the earlier file runs as its owner (set-user-ID), and this user cannot give "
                  "the new file that owner");
    }
    if ((mode & S_ISGID) && !kept.group) {
        return tr("the earlier file runs with its group (set-group-ID), and this user cannot "
                  "give the new file that group");
    }
    if (const QString failed = takeOverAttributes(handle, path); !failed.isEmpty())
        return failed;
    if (::fchmod(handle, mode) != 0) {
        return tr("cannot give the new file the mode %1 of the earlier file: %2")
            .arg(octal(mode), systemReason(errno));
    }
    struct stat now {};
    if (::fstat(handle, &now) != 0)
        return systemReason(errno);
    if ((now.st_mode & 07777) != mode) {
        return tr("the new file cannot keep the mode %1 of the earlier file (it would get %2)")
            .arg(octal(mode), octal(now.st_mode & 07777));
    }
    return QString();
}

#else

QString takeOverMetadata(int, const QString &) {
    return QString(); // QSaveFile carries the permissions it knows over by itself
}

#endif
