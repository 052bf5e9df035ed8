// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Who may do what with a file, set up and compared with the system's own tools (setfacl,
// setfattr, getfacl, getfattr of the acl and attr packages), so that a test does not trust the
// code it tests to read what that code wrote.

// The user and group that a test hands files to, or runs a child as, when it may.
inline constexpr uid_t NobodyUser = 65534;
inline constexpr gid_t NobodyGroup = 65534;

// Runs a tool to its end; true when it exits 0. Its output goes to `output` when given.
inline bool runTool(const QString &program, const QStringList &arguments,
                    QByteArray *output = nullptr) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode() == 0;
}

// Sets an extended attribute given as "name=value" (a value "0x..." in hex) with setfattr.
inline bool setAttribute(const QString &path, const QString &nameAndValue) {
    return runTool("setfattr", {"-n", nameAndValue.section(u'=', 0, 0), "-v",
                                nameAndValue.section(u'=', 1), path});
}

// The mode in octal, the owner and group by number, every extended attribute in hex (the
// access ACL, user.*, security.* as far as this user may read them) and the ACL in words: two
// files that give the same access show the same text.
inline QString accessOf(const QString &path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("<missing>");
    QString text = QStringLiteral("mode %1 owner %2:%3\n")
                       .arg(uint(info.st_mode & 07777), 4, 8, QLatin1Char('0'))
                       .arg(info.st_uid)
                       .arg(info.st_gid);
    QByteArray attributes, acl;
    runTool("getfattr", {"--absolute-names", "-d", "-m", "-", "-e", "hex", path}, &attributes);
    runTool("getfacl", {"--absolute-names", "-n", "-p", path}, &acl);
    for (const QByteArray &line : attributes.split('\n') + acl.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("# file:"))
            text += QString::fromUtf8(line) + u'\n';
    }
    return text;
}

// A user and a group that own no file of the tests.
inline constexpr uid_t StrangerUser = 12345;
inline constexpr gid_t StrangerGroup = 23456;

// Whether this process may give a file to another owner (CAP_CHOWN); tried on `probe`.
inline bool mayGiveAway(const QString &probe) {
    const QByteArray name = QFile::encodeName(probe);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0
        || ::chown(name.constData(), StrangerUser, StrangerGroup) != 0)
        return false;
    return ::chown(name.constData(), info.st_uid, info.st_gid) == 0;
}

// Whether this process may create a file in a directory, whatever the directory's mode says.
// Root may, and so may root of a user namespace (unshare -r), who may not give files away.
inline bool mayCreateFileIn(const QString &directory) {
    QFile probe(directory + QStringLiteral("/.probe"));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    probe.remove();
    return true;
}

// Whether a child process may become another user and group: not in a user namespace that
// maps no other user.
inline bool childMayBecome(uid_t user, gid_t group) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool became =
            ::setgroups(0, nullptr) == 0 && ::setgid(group) == 0 && ::setuid(user) == 0;
        ::_exit(became ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)
           && WEXITSTATUS(status) == 0;
}

// Makes a child run as nobody, without supplementary groups; it exits 99 where it may not, so
// the caller can tell that from a failure of its own.
inline void runAsNobody(QProcess &process) {
    process.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyGroup) != 0 || ::setuid(NobodyUser) != 0)
            ::_exit(99);
    });
}
inline constexpr int CouldNotRunAsNobody = 99;
