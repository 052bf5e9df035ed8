// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QProcess>
#include <QString>

// A small tmpfs mounted on a new directory for as long as the object lives, for tests that
// need a volume that fills up, or two volumes. Mounting needs root (CI runs as root); where
// it is not allowed, isMounted() is false and the test skips.
class SmallVolume {
public:
    SmallVolume(const QString &mountPoint, const QString &size)
        : mountPoint(mountPoint) {
        QDir().mkpath(mountPoint);
        mounted = run("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", mountPoint});
    }
    ~SmallVolume() {
        if (mounted)
            run("umount", {mountPoint});
    }
    SmallVolume(const SmallVolume &) = delete;
    SmallVolume &operator=(const SmallVolume &) = delete;

    bool isMounted() const { return mounted; }
    QString filePath(const QString &name) const { return mountPoint + u'/' + name; }

private:
    static bool run(const QString &program, const QStringList &arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }

    QString mountPoint;
    bool mounted = false;
};
