// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QIODevice>

#include <functional>

// A device that passes on the bytes of another as they are read, and shows each block to an
// observer first: the comparison with the writer and the progress of a check see every block
// once, as the reader takes it. When the observer returns false the read fails, and the reader
// stops there.
class ObservedDevice : public QIODevice {
public:
    using Observer = std::function<bool(QByteArrayView)>;

    ObservedDevice(QIODevice &source, Observer observer);

    bool isSequential() const override { return true; }
    bool waitForReadyRead(int msecs) override { return source.waitForReadyRead(msecs); }

    // Whether the observer stopped the reading.
    bool wasStopped() const { return stopped; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice &source;
    Observer observer;
    bool stopped = false;
};
