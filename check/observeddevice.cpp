// SPDX-License-Identifier: GPL-3.0-or-later
#include "observeddevice.h"

ObservedDevice::ObservedDevice(QIODevice &source, Observer observer)
    : source(source)
    , observer(std::move(observer)) {
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 ObservedDevice::readData(char *data, qint64 maxSize) {
    if (stopped)
        return -1;
    const qint64 got = source.read(data, maxSize);
    if (got > 0 && !observer(QByteArrayView(data, got))) {
        stopped = true;
        setErrorString(QStringLiteral("stopped")); // never shown: the verdict tells it
        return -1;
    }
    if (got < 0)
        setErrorString(source.errorString());
    return got;
}
