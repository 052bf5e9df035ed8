// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionsize.h"

#include "modeltext.h"
#include "pieceencoder.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

using namespace ModelText;

class LengthOf {
public:
    LengthOf(QStringConverter::Encoding encoding, int newlineLength)
        : encoder(encoding)
        , extraPerNewline(newlineLength - 1) {}

    UInt128 operator()(QStringView text) {
        const QByteArray bytes = encoder.encode(text);
        return quint64(bytes.size()) + quint64(bytes.count('\n')) * quint64(extraPerNewline);
    }

private:
    PieceEncoder encoder;
    int extraPerNewline;
};

} // namespace

UInt128 historyCount(int numPeriods, bool censoring) {
    if (numPeriods < 1)
        return 0;
    if (!censoring)
        return UInt128::powerOfTwo(numPeriods);
    return UInt128(3) * UInt128::powerOfTwo(numPeriods - 1) - 1;
}

// The histories fall into classes by their last detection L. Before L every occasion is free
// (0 or 1: a 2 there would force zeros up to L), so a class of L holds 2^(L-1) histories, and
// each free occasion is 0 in half of them and 1 in the other half. After L every digit is 0.
//
//   L = 0                 the all-zero history              product X0
//   L = l < N, digit 1    2^(l-1) histories                 factors of 1..l, then X(l)
//   L = l < N, digit 2    2^(l-1) histories (censoring)     factors of 1..l (ending in C(l))
//   L = N                 2^(N-1) histories                 factors of 1..N-1, then F
ModelDefinitionSize modelDefinitionSize(const ModelOptions &options, int newlineLength,
                                        QStringConverter::Encoding encoding) {
    LengthOf length(encoding, newlineLength);
    const int n = options.numPeriods;
    if (n < 2)
        return {};

    const UInt128 zero = length(symbol(options, 0));
    const UInt128 one = length(symbol(options, 1));
    const UInt128 two = length(symbol(options, 2));
    const UInt128 space = length(SymbolSeparator);

    // Sums over the free occasions 1..l-1, each taken with digit 0 in half the histories and
    // digit 1 in the other half.
    UInt128 freeFactors = 0; // sum over i < l of factor(i, 0) + factor(i, 1)
    UInt128 freeSymbols = 0; // (l - 1) * (zero + one)

    UInt128 rows = 0;     // symbols of all rows, without release prefix and separators
    UInt128 products = 0; // all products

    // L = 0
    rows += UInt128(quint64(n)) * zero;
    products += length(closingFactor(options, 0, false));

    for (int l = 1; l <= n; ++l) {
        const UInt128 histories = UInt128::powerOfTwo(l - 1);
        const UInt128 half = UInt128::powerOfTwo(l - 2); // 0 for l = 1, when nothing is free
        const UInt128 zerosAfter = UInt128(quint64(n - l)) * zero;

        rows += histories * (one + zerosAfter) + half * freeSymbols;
        const UInt128 lastFactor = l < n ? length(factor(options, l, 1)) : UInt128(0);
        products += histories * (lastFactor + length(closingFactor(options, l, false)))
                    + half * freeFactors;

        if (options.censoring && l < n) {
            rows += histories * (two + zerosAfter) + half * freeSymbols;
            products += histories * length(factor(options, l, 2)) + half * freeFactors;
        }
        if (l < n) {
            freeFactors += length(factor(options, l, 0)) + length(factor(options, l, 1));
            freeSymbols += zero + one;
        }
    }

    const UInt128 lines = historyCount(n, options.censoring);
    // Every line: release prefix, N-1 separators, ", " after the symbols, and its line end
    // ("," and a newline; the last line's ";" and a newline is just as long).
    const UInt128 perLine = length(releasePrefix(options)) + UInt128(quint64(n - 1)) * space
                            + length(ProductSeparator) + length(LineEnd);

    UInt128 bytes = length(parametersSection(options)) + length(variablesSection(options))
                    + length(likelihoodHead());
    bytes += lines * perLine + rows + products;
    return {lines, bytes};
}

HistoryLineOffsets::HistoryLineOffsets(const ModelOptions &options, int newlineLength,
                                       QStringConverter::Encoding encoding)
    : n(options.numPeriods >= 2 ? options.numPeriods : 0)
    , censoring(options.censoring) {
    if (n == 0)
        return;
    LengthOf length(encoding, newlineLength);
    const UInt128 head = length(parametersSection(options)) + length(variablesSection(options))
                         + length(likelihoodHead());
    const UInt128 line =
        length(releasePrefix(options)) + length(ProductSeparator) + length(LineEnd);
    std::vector<UInt128> pieces(size_t(6 * (n + 1)));
    for (int i = 1; i <= n; ++i) {
        const QString separator = i < n ? SymbolSeparator : QString();
        for (int digit = 0; digit <= limitOf(i); ++digit) {
            pieces[size_t(6 * i + digit)] = length(symbol(options, digit) + separator);
            if (i < n)
                pieces[size_t(6 * i + 3 + digit)] = length(factor(options, i, digit));
        }
    }
    std::vector<UInt128> closings;
    for (int last = 0; last <= n; ++last)
        closings.push_back(length(closingFactor(options, last, false)));

    // From the last occasion back: the rows from j on take 0 or 1 at j and go on as the rows
    // from j + 1 do, or (censoring, j < N) take 2 at j and zeros after it.
    std::vector<UInt128> rowsFrom(size_t(n + 2)), symbolsFrom(size_t(n + 2)),
        productsFrom(size_t(n + 2));
    rowsFrom[size_t(n + 1)] = 1;
    UInt128 zerosAfter = 0; // symbol bytes of zeros from j + 1 to N
    for (int j = n; j >= 1; --j) {
        const auto piece = [&](int offset) { return pieces[size_t(6 * j + offset)]; };
        const UInt128 rows = rowsFrom[size_t(j + 1)];
        const bool censorsHere = censoring && j < n;
        const UInt128 notDetected = j < n ? piece(3) : UInt128(0);
        const UInt128 detected = j < n ? piece(4) : UInt128(0);
        rowsFrom[size_t(j)] = rows * 2 + (censorsHere ? 1 : 0);
        symbolsFrom[size_t(j)] = symbolsFrom[size_t(j + 1)] * 2 + rows * (piece(0) + piece(1))
                                 + (censorsHere ? piece(2) + zerosAfter : 0);
        // A 0 or 1 at j puts j's factor into every row with a later detection; a 1 followed
        // by zeros ends at j, with j's factor (j < N) and X(j) or F; a 2 ends with C(j).
        productsFrom[size_t(j)] = productsFrom[size_t(j + 1)] * 2
                                  + (rows - 1) * (notDetected + detected) + detected
                                  + closings[size_t(j)] + (censorsHere ? piece(5) : 0);
        zerosAfter += piece(0);
    }

    // Every other figure is part of the whole file, so all fit once it does.
    const UInt128 whole =
        head + rowsFrom[1] * line + symbolsFrom[1] + closings[0] + productsFrom[1];
    valid = whole <= UInt128(quint64(std::numeric_limits<qint64>::max()));
    if (!valid)
        return;
    const auto narrowed = [](const std::vector<UInt128> &wide) {
        std::vector<quint64> values;
        for (const UInt128 value : wide)
            values.push_back(value.toUInt64Saturated());
        return values;
    };
    headBytes = head.toUInt64Saturated();
    lineBytes = line.toUInt64Saturated();
    pieceBytes = narrowed(pieces);
    closingBytes = narrowed(closings);
    completions = narrowed(rowsFrom);
    suffixSymbols = narrowed(symbolsFrom);
    suffixProducts = narrowed(productsFrom);
}

HistoryLineOffsets::Prefix HistoryLineOffsets::extended(const Prefix &prefix, int occasion,
                                                        int digit) const {
    Prefix next = prefix;
    next.symbols += symbolBytes(occasion, digit);
    if (occasion < n)
        next.factors += factorBytes(occasion, digit);
    if (digit == 1) {
        next.lastDetection = occasion;
        next.factorsUntilLast = next.factors;
    }
    return next;
}

// The rows that start with the prefix's `occasion` digits: the one that goes on with zeros
// ends at the prefix's last detection; every other one has all the prefix's factors and then
// those of its own occasions.
quint64 HistoryLineOffsets::runBytes(const Prefix &prefix, int occasion) const {
    const size_t next = size_t(occasion + 1);
    const quint64 rows = completions[next];
    return rows * (lineBytes + prefix.symbols) + suffixSymbols[next] + (rows - 1) * prefix.factors
           + prefix.factorsUntilLast + closingBytes[size_t(prefix.lastDetection)]
           + suffixProducts[next];
}

// Digit by digit, as HistoryCounter::jumpTo() finds the history: every run that a smaller
// digit starts comes before it.
quint64 HistoryLineOffsets::offsetOf(quint64 index) const {
    if (!valid)
        return 0;
    if (index >= completions[1])
        return headBytes + runBytes(Prefix(), 0);
    quint64 offset = headBytes;
    Prefix prefix;
    // Once the index is used up, the history goes on with zeros: nothing else comes before it.
    for (int occasion = 1; occasion <= n && index > 0; ++occasion) {
        int digit = 0;
        for (quint64 run = completions[size_t(occasion + 1)];
             digit < limitOf(occasion) && index >= run; ++digit) {
            offset += runBytes(extended(prefix, occasion, digit), occasion);
            index -= run;
            if (digit == 1)
                run = 1; // a 2 and zeros
        }
        prefix = extended(prefix, occasion, digit);
    }
    return offset;
}

QString humanReadableSize(UInt128 bytes, int decimals) {
    return humanReadableSize(bytes, QLocale::c(), decimals);
}

QString humanReadableSize(UInt128 bytes, const QLocale &locale, int decimals) {
    const auto tr = [](const char *text) {
        return QCoreApplication::translate("ModelDefinitionSize", text);
    };
    if (bytes < 1000)
        return bytes == 1 ? tr("1 byte")
                          : tr("%1 bytes").arg(locale.toString(bytes.toUInt64Saturated()));
    const char *const units[] = {"kB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    double value = bytes.toDouble();
    for (const char *unit : units) {
        value /= 1000.0;
        if (value < 1000.0 - 0.5 * std::pow(10.0, -decimals))
            return QStringLiteral("%1 %2").arg(locale.toString(value, 'f', decimals),
                                               QLatin1String(unit));
    }
    return tr("%1 bytes").arg(locale.toString(bytes.toDouble(), 'g', 2));
}

std::pair<QString, QString> distinctSizes(UInt128 first, UInt128 second) {
    constexpr int MostDecimals = 6;
    for (int decimals = 1; decimals <= MostDecimals; ++decimals) {
        std::pair<QString, QString> shown{humanReadableSize(first, decimals),
                                          humanReadableSize(second, decimals)};
        if (first == second || shown.first != shown.second)
            return shown;
    }
    const auto inBytes = [](UInt128 bytes) {
        return QCoreApplication::translate("ModelDefinitionSize", "%1 bytes").arg(bytes.toString());
    };
    return {inBytes(first), inBytes(second)};
}
