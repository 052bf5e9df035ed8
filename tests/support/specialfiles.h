// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

// Files that are not regular files, made where a test wants them. Each returns false when
// this system or this user may not make one (mknod needs root).

// A character device like /dev/null (major 1, minor 3): writes vanish, reads are empty.
inline bool makeNullDevice(const QString &path) {
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

// A character device like /dev/full (major 1, minor 7): every write fails with ENOSPC.
inline bool makeFullDevice(const QString &path) {
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0;
}

inline bool makeFifo(const QString &path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

// A bound Unix socket; the descriptor stays open until the test closes it.
inline int makeSocket(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (socket >= 0
        && ::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

// What kind of file a path holds now, without following a link: "regular", "character
// device", "fifo", "socket", "directory", "link", "missing".
inline QString fileKind(const QString &path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("missing");
    if (S_ISREG(info.st_mode))
        return QStringLiteral("regular");
    if (S_ISCHR(info.st_mode))
        return QStringLiteral("character device");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("fifo");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("socket");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("directory");
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("link");
    return QStringLiteral("other");
}
