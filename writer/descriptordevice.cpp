// SPDX-License-Identifier: GPL-3.0-or-later
#include "descriptordevice.h"

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#else
#include <io.h>
#endif

namespace {

// How long a write that has to wait sleeps before it asks again whether to stop.
constexpr int WaitIntervalMs = 100;

} // namespace

DescriptorDevice::DescriptorDevice(int descriptor, Ownership ownership,
                                   std::function<bool()> stopRequested, QObject *parent)
    : QIODevice(parent)
    , descriptor(descriptor)
    , ownership(ownership)
    , stopRequested(std::move(stopRequested)) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

DescriptorDevice::~DescriptorDevice() {
    closeDescriptor();
}

void DescriptorDevice::close() {
    closeDescriptor();
    QIODevice::close();
}

bool DescriptorDevice::closeDescriptor() {
    if (ownership != Ownership::Owned || descriptor < 0)
        return true;
#ifdef Q_OS_UNIX
    const int result = ::close(descriptor);
#else
    const int result = ::_close(descriptor);
#endif
    descriptor = -1;
    if (result != 0 && errno != EINTR) {
        fail(errno);
        return false;
    }
    return true;
}

qint64 DescriptorDevice::readData(char *, qint64) {
    return -1;
}

void DescriptorDevice::fail(int error) {
    setErrorString(QString::fromLocal8Bit(std::strerror(error)));
}

qint64 DescriptorDevice::writeData(const char *data, qint64 length) {
    qint64 done = 0;
    while (done < length) {
        if (stopping()) {
            interrupted = true;
            setErrorString(tr("interrupted"));
            return done > 0 ? done : -1;
        }
#ifdef Q_OS_UNIX
        const ssize_t written = ::write(descriptor, data + done, size_t(length - done));
#else
        const int written = ::_write(descriptor, data + done, unsigned(length - done));
#endif
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
#ifdef Q_OS_UNIX
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd writable{descriptor, POLLOUT, 0};
            ::poll(&writable, 1, WaitIntervalMs);
            continue;
        }
#endif
        fail(written < 0 ? errno : EIO);
        return done > 0 ? done : -1;
    }
    return done;
}
