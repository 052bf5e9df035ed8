// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// A few blocks of bytes passed from the thread that generates text to the thread that writes
// it, and back. The number of blocks is fixed, so memory stays flat: a producer that is ahead
// waits for the writer to hand a block back.
class BlockPipe {
public:
    struct Block {
        std::vector<char> bytes;
        qsizetype used = 0;
        quint64 linesEnded = 0;     // lines complete at the end of this block
        bool progressPoint = false; // the writer reports progress once the block is written
    };

    static constexpr int BlockCount = 4;
    static constexpr qsizetype BlockSize = 256 * 1024;

    // A pipe whose producer runs on the consumer's own thread, before it: it never waits for
    // a free block but gets a new one, so memory grows with the text. Only for small files.
    enum class Mode { Bounded, Unbounded };

    explicit BlockPipe(Mode mode = Mode::Bounded);

    // Producer: an empty block to fill, or nullptr once the consumer has stopped the pipe.
    Block *takeEmpty();
    void handFilled(Block *block);
    void finish(); // no more blocks will come

    // Consumer: the next filled block, or nullptr at the end (finished or stopped).
    Block *takeFilled();
    void giveBack(Block *block);
    void stop(); // the producer gets no more blocks and ends

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Block> blocks; // stable addresses
    Mode mode;
    std::deque<Block *> empty;
    std::deque<Block *> filled;
    bool finished = false;
    bool stopped = false;
};
