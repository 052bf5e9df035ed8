// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// An unsigned 128-bit count that saturates instead of wrapping: a sum or product that would
// exceed 2^128 - 1 stays at max(), which reads as "at least this much". Plain C++, so that it
// builds with every compiler (MSVC has no __int128).
class UInt128 {
public:
    constexpr UInt128() = default;
    constexpr UInt128(quint64 value)
        : lo(value) {} // NOLINT: implicit on purpose

    static constexpr UInt128 max() { return fromParts(~quint64(0), ~quint64(0)); }
    static UInt128 powerOfTwo(int exponent);

    bool isSaturated() const { return *this == max(); }
    bool fitsIn64() const { return hi == 0; }
    quint64 toUInt64Saturated() const { return hi == 0 ? lo : ~quint64(0); }
    double toDouble() const;
    QString toString() const;

    // Sums and products of counts that fit in 64 and 32 bits are the common case, inline.
    friend UInt128 operator+(UInt128 a, UInt128 b) {
        const quint64 low = a.lo + b.lo;
        return (a.hi | b.hi) == 0 && low >= a.lo ? UInt128(low) : sum(a, b);
    }
    friend UInt128 operator-(UInt128 a, UInt128 b); // a >= b; saturated a stays saturated
    friend UInt128 operator*(UInt128 a, UInt128 b) {
        return (a.hi | b.hi | ((a.lo | b.lo) >> 32)) == 0 ? UInt128(a.lo * b.lo) : product(a, b);
    }
    UInt128 &operator+=(UInt128 other) { return *this = *this + other; }
    UInt128 &operator*=(UInt128 other) { return *this = *this * other; }

    friend bool operator==(UInt128 a, UInt128 b) { return a.hi == b.hi && a.lo == b.lo; }
    friend bool operator!=(UInt128 a, UInt128 b) { return !(a == b); }
    friend bool operator<(UInt128 a, UInt128 b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }
    friend bool operator>(UInt128 a, UInt128 b) { return b < a; }
    friend bool operator<=(UInt128 a, UInt128 b) { return !(b < a); }
    friend bool operator>=(UInt128 a, UInt128 b) { return !(a < b); }

private:
    static constexpr UInt128 fromParts(quint64 high, quint64 low) {
        UInt128 v;
        v.hi = high;
        v.lo = low;
        return v;
    }
    static UInt128 sum(UInt128 a, UInt128 b);
    static UInt128 product(UInt128 a, UInt128 b);
    quint32 divideBy(quint32 divisor); // in place; returns the remainder

    quint64 hi = 0;
    quint64 lo = 0;
};
