// SPDX-License-Identifier: GPL-3.0-or-later
#include "sizeline.h"

#include <QCoreApplication>
#include <QPalette>
#include <QStringList>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("MainWidget", text);
}

// The locale's digit for an ASCII digit.
QString localDigit(QChar digit, const QLocale &locale) {
    const QList<uint> zero = locale.zeroDigit().toUcs4();
    const uint codePoint = zero.value(0, u'0') + uint(digit.unicode() - u'0');
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(&codePoint), 1);
}

} // namespace

QString sizeLineText(const ModelDefinitionSize &size, const QLocale &locale) {
    const QString histories = tr("%1 histories").arg(groupedNumber(size.lines, locale));
    if (size.bytes < 1000)
        return tr("%1 · %2").arg(histories, humanReadableSize(size.bytes, locale));
    return tr("%1 · %2 (%3 bytes)")
        .arg(histories, humanReadableSize(size.bytes, locale), groupedNumber(size.bytes, locale));
}

QString groupedNumber(UInt128 value, const QLocale &locale) {
    if (value.fitsIn64())
        return locale.toString(qulonglong(value.toUInt64Saturated()));
    return groupedDigits(value.toString(), locale);
}

// The grouping is learnt from the widest number Qt formats, 10^19: the group sizes nearest the
// end, and the one that repeats above them.
QString groupedDigits(const QString &digits, const QLocale &locale) {
    const QString separator = locale.groupSeparator();
    const QString sample = locale.toString(qulonglong(10000000000000000000ULL));
    const QStringList groups = sample.split(separator);
    const qsizetype digitWidth = locale.zeroDigit().size();
    const bool grouped = !separator.isEmpty() && groups.size() >= 3
                         && !locale.numberOptions().testFlag(QLocale::OmitGroupSeparator);
    const qsizetype least = grouped ? groups.constLast().size() / digitWidth : 0;
    const qsizetype higher = grouped ? groups.at(groups.size() - 2).size() / digitWidth : 0;

    QString result;
    qsizetype inGroup = 0;
    qsizetype groupSize = least;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (grouped && inGroup == groupSize) {
            result.prepend(separator);
            inGroup = 0;
            groupSize = higher;
        }
        result.prepend(localDigit(digits.at(i), locale));
        ++inGroup;
    }
    return result;
}

// Qt 6.4's palette has no warning role. A red of the window text's lightness reads as a
// warning on a light theme (a dark red) and on a dark one (a light red) alike.
QColor warningColour(const QPalette &palette) {
    const bool darkText = palette.color(QPalette::WindowText).lightness() < 128;
    return QColor::fromHsl(0, 200, darkText ? 90 : 180);
}
