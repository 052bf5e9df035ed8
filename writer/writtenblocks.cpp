// SPDX-License-Identifier: GPL-3.0-or-later
#include "writtenblocks.h"

#include "modeldefinitionwriter.h"
#include "modeloptions.h"

#include <QIODevice>
#include <QQueue>
#include <QTextStream>

#include <condition_variable>
#include <mutex>
#include <thread>

// Blocks of text from the writer's thread to the taking one, a few at most. The standard
// library's mutex and thread, rather than Qt's, so that ThreadSanitizer sees how they pair.
class WrittenBlocks::Queue {
public:
    // False once the taking side has stopped listening.
    bool push(const QByteArray &block) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return blocks.size() < Capacity || stopped; });
        if (stopped)
            return false;
        blocks.enqueue(block);
        changed.notify_all();
        return true;
    }
    void close() {
        const std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        changed.notify_all();
    }
    // The next block; an empty one once the writer has closed the queue and it is empty.
    QByteArray pop() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !blocks.isEmpty() || closed; });
        if (blocks.isEmpty())
            return QByteArray();
        const QByteArray block = blocks.dequeue();
        changed.notify_all();
        return block;
    }
    void stop() {
        const std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
        blocks.clear();
        changed.notify_all();
    }
    bool isStopped() {
        const std::lock_guard<std::mutex> lock(mutex);
        return stopped;
    }

    std::thread writer; // started last, joined first

private:
    static constexpr qsizetype Capacity = 4;

    std::mutex mutex;
    std::condition_variable changed;
    QQueue<QByteArray> blocks;
    bool closed = false;
    bool stopped = false;
};

// The writer's device: every block it writes goes into the queue.
class WrittenBlocks::Sink : public QIODevice {
public:
    explicit Sink(Queue &queue)
        : queue(queue) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override {
        return queue.push(QByteArray(data, qsizetype(length))) ? length : -1;
    }

private:
    Queue &queue;
};

WrittenBlocks::WrittenBlocks(const ModelOptions &options)
    : queue(std::make_unique<Queue>()) {
    if (options.numPeriods < 2) { // the writer refuses such options: no text
        queue->close();
        return;
    }
    Queue *blocks = queue.get();
    queue->writer = std::thread([blocks, options] {
        Sink sink(*blocks);
        QTextStream out(&sink);
        out.setEncoding(QStringConverter::Utf8);
        ModelDefinitionWriter::write(out, options,
                                     [blocks](quint64, quint64) { return !blocks->isStopped(); });
        out.flush();
        blocks->close();
    });
}

WrittenBlocks::~WrittenBlocks() {
    queue->stop();
    if (queue->writer.joinable())
        queue->writer.join();
}

QByteArray WrittenBlocks::next() {
    return queue->pop();
}

void WrittenBlocks::stop() {
    queue->stop();
}
