// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "uint128.h"

#include <QString>

// Where a model definition file goes, decided once from the name given, so that the free-space
// check and the writing look at the same thing.
//
// A regular file, or a name that does not exist yet, is replaced atomically, after following
// every symbolic link to the file it ends at (the temporary file goes beside that file, on its
// volume). Anything else that exists is written straight through, the way `dd of=` does: a
// device, a FIFO, or an open descriptor of this process (/dev/stdout, /dev/fd/N, "-" in the
// companion). A directory, a socket or a loop of links is refused.
struct OutputTarget {
    enum class Kind {
        File,       // replaced atomically at `path`
        Device,     // a character or block device or a FIFO, opened by `path`
        Descriptor, // the open `descriptor`, written where it stands
        Refused,    // `problem` says why
    };

    Kind kind = Kind::File;
    QString name;              // as given, for messages
    QString path;              // File: the file at the end of the links; Device: the name
    int descriptor = -1;       // Descriptor
    QString problem;           // Refused: "it is a directory", "Too many levels of symbolic links"
    bool throughLinks = false; // `path` was reached by following symbolic links from `name`

    // What the resolution found at `path` (File, Device): the name may change hands before it
    // is opened or replaced, and what is written must go to what was chosen.
    bool existed = false;
    quint32 fileType = 0; // the st_mode bits of S_IFMT
    quint64 device = 0;   // st_dev
    quint64 inode = 0;    // st_ino

    // Standard output of this process.
    static OutputTarget standardOutput();
};

OutputTarget resolveOutputTarget(const QString &name);

// Why the file behind an open descriptor, or (for a File) what stands at its path now, is not
// what the resolution found: "it was replaced after it was chosen: it was a FIFO, now it is a
// regular file". Empty when it is the same.
QString openedTargetChange(const OutputTarget &target, int descriptor);
QString targetChange(const OutputTarget &target);

// Why a File that could not be created lies out of reach, when links lead there: "it is a link
// that leads to "nowhere/model.txt", but the directory "nowhere" does not exist". Empty when
// no link is involved or the way is open.
QString unreachableThroughLinks(const OutputTarget &target);

// Whether a file of a given size fits where the target would put it. Only files and regular
// files behind a descriptor are measured; a device or a pipe takes what it takes.
struct FreeSpace {
    bool known = false;   // false when there is nothing to measure or it cannot be measured
    qint64 available = 0; // bytes the user may still write there
    UInt128 needed;

    bool fits() const { return !known || needed <= UInt128(quint64(available)); }
};

FreeSpace freeSpaceFor(const OutputTarget &target, UInt128 neededBytes);
