// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <memory>

struct ModelOptions;

// The writer's text for some options (UTF-8, LF line ends), made on a thread of its own a few
// blocks ahead of whoever takes the blocks: the text is never held whole, and the writer
// stops as soon as nobody wants more. For the comparison of a file with its options, and for
// tests that read a large written file through edits.
class WrittenBlocks {
public:
    explicit WrittenBlocks(const ModelOptions &options);
    ~WrittenBlocks(); // stops the writer and waits for it

    // The next block; an empty one once the text has ended. Options the writer refuses
    // (fewer than two periods) give no text.
    QByteArray next();
    // No more blocks are wanted: the writer stops at its next block.
    void stop();

    WrittenBlocks(const WrittenBlocks &) = delete;
    WrittenBlocks &operator=(const WrittenBlocks &) = delete;

private:
    class Queue;
    class Sink;
    std::unique_ptr<Queue> queue;
};
