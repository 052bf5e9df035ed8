// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded into a child process with LD_PRELOAD: every flush to the disk fails with the error
// number in TARSKCJS_FLUSH_ERROR (EIO when unset), as on a disk that fails at the flush.
#include <cerrno>
#include <cstdlib>

namespace {

int failedFlush() {
    const char *error = std::getenv("TARSKCJS_FLUSH_ERROR");
    errno = error ? std::atoi(error) : EIO;
    return -1;
}

} // namespace

extern "C" int fdatasync(int) {
    return failedFlush();
}

extern "C" int fsync(int) {
    return failedFlush();
}
