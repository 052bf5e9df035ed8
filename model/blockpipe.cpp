// SPDX-License-Identifier: GPL-3.0-or-later
#include "blockpipe.h"

BlockPipe::BlockPipe() {
    for (Block &block : blocks) {
        block.bytes.resize(size_t(BlockSize));
        empty.push_back(&block);
    }
}

BlockPipe::Block *BlockPipe::takeEmpty() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return stopped || !empty.empty(); });
    if (stopped)
        return nullptr;
    Block *block = empty.front();
    empty.pop_front();
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
