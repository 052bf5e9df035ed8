// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstring>

// The names of a file, each stored once, by id in the order of first appearance. The tokenizer
// hashes a name's bytes as it scans them, so interning costs one probe in the common case;
// header-inline for that reason.
//
// Every name costs the checks about a hundred bytes besides its text, so the table holds at
// most MaxNames names of MaxTotalBytes in all: a file of millions of names is refused rather
// than allowed to take the memory. A model of 99 occasions has fewer than 400 names.
class NameTable {
public:
    static constexpr quint64 HashStart = 14695981039346656037ULL; // FNV-1a
    static constexpr int MaxNames = 65536;
    static constexpr qsizetype MaxTotalBytes = qsizetype(4) << 20;

    static quint64 hashStep(quint64 hash, uchar byte) { return (hash ^ byte) * 1099511628211ULL; }

    // The name's id; -1 for a new name that would take the table past its limits.
    int intern(const char *bytes, qsizetype length, quint64 hash) {
        if (entries.size() < MaxNames && 2 * (entries.size() + 1) > buckets.size())
            grow(); // a full table keeps half its buckets free: the probe ends
        const qsizetype mask = buckets.size() - 1;
        for (qsizetype slot = qsizetype(hash) & mask;; slot = (slot + 1) & mask) {
            const int id = buckets.at(slot);
            if (id < 0) {
                if (entries.size() >= MaxNames || arena.size() + length > MaxTotalBytes)
                    return -1;
                buckets[slot] = int(entries.size());
                entries.append({arena.size(), length, hash});
                arena.append(bytes, length);
                return buckets.at(slot);
            }
            const Entry &entry = entries.at(id);
            if (entry.hash == hash && entry.length == length
                && std::memcmp(arena.constData() + entry.offset, bytes, size_t(length)) == 0)
                return id;
        }
    }

    int count() const { return int(entries.size()); }
    QByteArrayView bytes(int id) const {
        const Entry &entry = entries.at(id);
        return QByteArrayView(arena.constData() + entry.offset, entry.length);
    }

private:
    struct Entry {
        qsizetype offset;
        qsizetype length;
        quint64 hash;
    };

    void grow() {
        const qsizetype size = buckets.isEmpty() ? 64 : 2 * buckets.size();
        buckets.fill(-1, size);
        for (int id = 0; id < entries.size(); ++id) {
            qsizetype slot = qsizetype(entries.at(id).hash) & (size - 1);
            while (buckets.at(slot) >= 0)
                slot = (slot + 1) & (size - 1);
            buckets[slot] = id;
        }
    }

    QByteArray arena;
    QList<Entry> entries;
    QList<int> buckets; // ids by hash, -1 where free; a power of two in size
};
