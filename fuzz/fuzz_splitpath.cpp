// SPDX-License-Identifier: GPL-3.0-or-later
// splitPath on any text: the parts put back together give the path, and the file name holds
// no separator.
#include "splitpath.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The first byte chooses how the rest becomes text: UTF-8, or raw UTF-16 code units (lone
// surrogates included).
QString textFrom(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return QString();
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    if (data[0] % 2 == 0)
        return QString::fromUtf8(bytes, length);
    return QString(reinterpret_cast<const QChar *>(bytes), length / 2);
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString path = textFrom(data, size);
    const PathParts parts = splitPath(path);

    const QString backslashPair = QStringLiteral("\\\\");
    const QString separator = path.contains(backslashPair) ? backslashPair : QStringLiteral("/");
    if (!path.contains(separator)) {
        check(parts.directory == path && parts.fileName == path);
        return 0;
    }
    check(parts.directory + separator + parts.fileName == path);
    check(!parts.fileName.contains(separator));
    return 0;
}
