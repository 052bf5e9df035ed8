// SPDX-License-Identifier: GPL-3.0-or-later
#include "blockpipe.h"

BlockPipe::BlockPipe(Mode mode)
    : blocks(BlockCount)
    , mode(mode) {
    for (Block &block : blocks)
        empty.push_back(&block);
}

BlockPipe::Block *BlockPipe::takeEmpty() {
    std::unique_lock lock(mutex);
    if (mode == Mode::Unbounded && empty.empty() && !stopped) {
        blocks.emplace_back();
        empty.push_back(&blocks.back());
    }
    changed.wait(lock, [this] { return stopped || !empty.empty(); });
    if (stopped)
        return nullptr;
    Block *block = empty.front();
    empty.pop_front();
    if (block->bytes.empty())
        block->bytes.resize(size_t(BlockSize)); // only the blocks a file needs take memory
    block->used = 0;
    block->progressPoint = false;
    return block;
}

void BlockPipe::handFilled(Block *block) {
    {
        const std::lock_guard lock(mutex);
        filled.push_back(block);
    }
    changed.notify_all();
}

void BlockPipe::finish() {
    {
        const std::lock_guard lock(mutex);
        finished = true;
    }
    changed.notify_all();
}

BlockPipe::Block *BlockPipe::takeFilled() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return stopped || finished || !filled.empty(); });
    if (stopped || filled.empty())
        return nullptr;
    Block *block = filled.front();
    filled.pop_front();
    return block;
}

void BlockPipe::giveBack(Block *block) {
    {
        const std::lock_guard lock(mutex);
        empty.push_back(block);
    }
    changed.notify_all();
}

void BlockPipe::stop() {
    {
        const std::lock_guard lock(mutex);
        stopped = true;
    }
    changed.notify_all();
}
