// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIODevice>

#include <functional>

// Writes straight to a file descriptor: a device, a FIFO, a pipe, a terminal, or a file that
// someone else opened (standard output). A write the kernel interrupts, cuts short or makes
// wait is carried on until everything is written, unless the owner asks to stop: then the
// write fails with "interrupted", so that a signal or a Cancel ends even a write that a full
// pipe would block for ever.
class DescriptorDevice : public QIODevice {
    Q_OBJECT

public:
    enum class Ownership { Borrowed, Owned };

    DescriptorDevice(int descriptor, Ownership ownership, std::function<bool()> stopRequested = {},
                     QObject *parent = nullptr);
    ~DescriptorDevice() override;

    bool isSequential() const override { return true; }
    int handle() const { return descriptor; }
    void close() override;
    // Closes an owned descriptor and says whether the kernel took the last bytes.
    bool closeDescriptor();
    bool wasInterrupted() const { return interrupted; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 length) override;

private:
    bool stopping() const { return stopRequested && stopRequested(); }
    void fail(int error);

    int descriptor;
    Ownership ownership;
    std::function<bool()> stopRequested;
    bool interrupted = false;
};
