// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded into a child process with LD_PRELOAD: every regular file it writes has a bad spot at
// byte TARSKCJS_BAD_SPOT, as a disk with a failing sector does. A write that runs into the
// spot takes the bytes before it and a write that starts there fails with EIO, while writes
// past the spot succeed: a chunk written after the one that failed still lands in the file.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

long long badSpot() {
    const char *spot = std::getenv("TARSKCJS_BAD_SPOT");
    return spot ? std::atoll(spot) : -1;
}

// How many of `count` bytes at `offset` of the file reach the disk; -1 when none does.
long long bytesTaken(long long offset, size_t count) {
    const long long spot = badSpot();
    const long long end = offset + static_cast<long long>(count);
    if (spot < 0 || end <= spot || offset > spot)
        return static_cast<long long>(count);
    return offset < spot ? spot - offset : -1;
}

bool isRegularFile(int descriptor, struct stat &info) {
    return fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
}

ssize_t failed() {
    errno = EIO;
    return -1;
}

} // namespace

extern "C" ssize_t pwrite64(int descriptor, const void *data, size_t count, off_t offset) {
    struct stat info {};
    const long long taken =
        isRegularFile(descriptor, info) ? bytesTaken(offset, count) : static_cast<long long>(count);
    if (taken < 0)
        return failed();
    return syscall(SYS_pwrite64, descriptor, data, static_cast<size_t>(taken), offset);
}

extern "C" ssize_t pwrite(int descriptor, const void *data, size_t count, off_t offset) {
    return pwrite64(descriptor, data, count, offset);
}

extern "C" ssize_t write(int descriptor, const void *data, size_t count) {
    struct stat info {};
    long long taken = static_cast<long long>(count);
    if (isRegularFile(descriptor, info)) {
        const int flags = fcntl(descriptor, F_GETFL);
        const off_t offset =
            flags != -1 && (flags & O_APPEND) ? info.st_size : lseek(descriptor, 0, SEEK_CUR);
        taken = bytesTaken(offset, count);
    }
    if (taken < 0)
        return failed();
    return syscall(SYS_write, descriptor, data, static_cast<size_t>(taken));
}
