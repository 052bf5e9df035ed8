// SPDX-License-Identifier: GPL-3.0-or-later
#include "uint128.h"

#include <algorithm>

namespace {

// The full 128-bit product of two 64-bit numbers, from 32-bit halves.
void multiply64(quint64 a, quint64 b, quint64 &high, quint64 &low) {
    const quint64 aLo = a & 0xffffffffu, aHi = a >> 32;
    const quint64 bLo = b & 0xffffffffu, bHi = b >> 32;
    const quint64 lolo = aLo * bLo;
    const quint64 hilo = aHi * bLo;
    const quint64 lohi = aLo * bHi;
    const quint64 hihi = aHi * bHi;
    const quint64 middle = (lolo >> 32) + (hilo & 0xffffffffu) + (lohi & 0xffffffffu);
    low = (middle << 32) | (lolo & 0xffffffffu);
    high = hihi + (hilo >> 32) + (lohi >> 32) + (middle >> 32);
}

} // namespace

UInt128 UInt128::powerOfTwo(int exponent) {
    if (exponent < 0)
        return 0;
    if (exponent >= 128)
        return max();
    if (exponent >= 64)
        return fromParts(quint64(1) << (exponent - 64), 0);
    return fromParts(0, quint64(1) << exponent);
}

UInt128 UInt128::sum(UInt128 a, UInt128 b) {
    const quint64 low = a.lo + b.lo;
    const quint64 carry = low < a.lo ? 1 : 0;
    const quint64 high = a.hi + b.hi;
    if (high < a.hi || high + carry < high)
        return UInt128::max();
    return UInt128::fromParts(high + carry, low);
}

UInt128 operator-(UInt128 a, UInt128 b) {
    if (a.isSaturated())
        return a;
    if (a < b)
        return 0;
    const quint64 borrow = a.lo < b.lo ? 1 : 0;
    return UInt128::fromParts(a.hi - b.hi - borrow, a.lo - b.lo);
}

UInt128 UInt128::product(UInt128 a, UInt128 b) {
    if (a.hi != 0 && b.hi != 0)
        return UInt128::max();
    quint64 high, low;
    multiply64(a.lo, b.lo, high, low);
    // At most one of the cross terms is nonzero.
    quint64 crossHigh, crossLow;
    multiply64(a.hi | b.hi, a.hi != 0 ? b.lo : a.lo, crossHigh, crossLow);
    if (crossHigh != 0)
        return UInt128::max();
    const quint64 sum = high + crossLow;
    if (sum < high)
        return UInt128::max();
    return UInt128::fromParts(sum, low);
}

quint32 UInt128::divideBy(quint32 divisor) {
    quint64 remainder = 0;
    quint32 parts[4] = {quint32(hi >> 32), quint32(hi), quint32(lo >> 32), quint32(lo)};
    for (quint32 &part : parts) {
        const quint64 current = (remainder << 32) | part;
        part = quint32(current / divisor);
        remainder = current % divisor;
    }
    hi = (quint64(parts[0]) << 32) | parts[1];
    lo = (quint64(parts[2]) << 32) | parts[3];
    return quint32(remainder);
}

QString UInt128::toString() const {
    if (hi == 0)
        return QString::number(lo);
    QString digits;
    UInt128 rest = *this;
    while (rest != 0)
        digits.append(QChar(u'0' + rest.divideBy(10)));
    std::reverse(digits.begin(), digits.end());
    return digits;
}

double UInt128::toDouble() const {
    return double(hi) * 18446744073709551616.0 + double(lo);
}
