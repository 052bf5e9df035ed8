// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <optional>

class QIODevice;

// The descriptor behind a file device or a DescriptorDevice; -1 for any other device.
int descriptorOf(const QIODevice *device);

// A regular file that several threads write at once, each at offsets of its own (pwrite),
// instead of one after the other at the descriptor's offset. The text starts where the
// descriptor stands, as with write(2), and the caller leaves the descriptor at its end, so
// that whoever shares the descriptor (a shell's `{ ...; } > FILE`) carries on from there.
//
// Only a regular file on a Unix system, not opened for appending (the kernel puts every
// write of an appending descriptor at the end, whatever offset it is given).
class PositionedFile {
public:
    // The device's file, its buffer flushed, when it can be written this way.
    static std::optional<PositionedFile> of(QIODevice *device);

    quint64 start() const { return begin; }

    // Sets room aside on the volume for `bytes` from the start, without changing the file's
    // size: writes into room set aside cost the kernel less than writes that find it page by
    // page. Best effort; on a volume too small the writes fail where they would anyway.
    void reserve(quint64 bytes) const;

    // Writes `data` at `offset`; returns how many bytes the kernel took, fewer than `size`
    // only when it refused the rest (errno says why).
    qsizetype writeAt(const char *data, qsizetype size, quint64 offset) const;

    // Puts the descriptor, and a file device's position, at `offset`: where the writing
    // ended, or where a write goes through the device itself.
    bool moveTo(quint64 offset) const;

    // After a failure or a cancel: drops everything past `end` that this writing put there
    // (chunks written ahead of one that is missing, room set aside), so that no gap of zeros
    // is left in the file; a file that was longer before is not cut shorter than it was. The
    // descriptor is put at `end` without touching the device, whose error must stay as it is.
    void cutBackTo(quint64 end) const;

private:
    PositionedFile(QIODevice *device, int handle, quint64 begin, quint64 sizeBefore)
        : device(device)
        , handle(handle)
        , begin(begin)
        , sizeBefore(sizeBefore) {}

    QIODevice *device;
    int handle;
    quint64 begin;      // where the descriptor stood
    quint64 sizeBefore; // the file's size then
};
