// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelnames.h"

#include <unicode/uchar.h>
#include <unicode/uspoof.h>

#include <cstdint>
#include <memory>

namespace {

// The code point at i, and how many UTF-16 units it takes; a lone surrogate stands for itself.
char32_t codePointAt(QStringView text, qsizetype i, qsizetype &length) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        length = 2;
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    length = 1;
    return c.unicode();
}

bool isInvisible(char32_t character) {
    switch (QChar::category(character)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

using SpoofChecker = std::unique_ptr<USpoofChecker, decltype(&uspoof_close)>;

// One checker for the process; ICU allows checks from several threads on a checker that is
// not changed.
const USpoofChecker *spoofChecker() {
    static const SpoofChecker checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        USpoofChecker *opened = uspoof_open(&status);
        if (U_FAILURE(status)) {
            uspoof_close(opened);
            opened = nullptr;
        }
        return SpoofChecker(opened, &uspoof_close);
    }();
    return checker.get();
}

} // namespace

QString confusableSkeleton(QStringView name) {
    const USpoofChecker *checker = spoofChecker();
    if (!checker || name.size() > INT32_MAX / 8)
        return name.toString(); // without ICU's data only equal names read alike
    const auto *text = reinterpret_cast<const UChar *>(name.utf16());
    // A skeleton is rarely longer than its name; one retry with the size ICU asks for.
    QString skeleton(name.size() * 2 + 8, Qt::Uninitialized);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = uspoof_getSkeleton(checker, 0, text, int32_t(name.size()),
                                                  reinterpret_cast<UChar *>(skeleton.data()),
                                                  int32_t(skeleton.size()), &status);
        if (U_SUCCESS(status)) {
            skeleton.truncate(length);
            return skeleton;
        }
        if (status != U_BUFFER_OVERFLOW_ERROR)
            break;
        skeleton.resize(length);
    }
    return name.toString();
}

QString describeCharacter(char32_t character) {
    char name[128] = {};
    UErrorCode status = U_ZERO_ERROR;
    u_charName(UChar32(character), U_UNICODE_CHAR_NAME, name, sizeof name, &status);
    const QString code =
        QStringLiteral("U+%1").arg(quint32(character), 4, 16, QLatin1Char('0')).toUpper();
    if (U_FAILURE(status) || name[0] == '\0')
        return code;
    return code + u' ' + QString::fromLatin1(name);
}

bool firstDifference(QStringView a, QStringView b, char32_t &inA, char32_t &inB) {
    qsizetype i = 0, lengthA = 0, lengthB = 0;
    for (; i < a.size() && i < b.size(); i += lengthA) {
        inA = codePointAt(a, i, lengthA);
        inB = codePointAt(b, i, lengthB);
        if (inA != inB)
            return true;
    }
    if (a.size() == b.size())
        return false;
    // One is the other's beginning: the first character that only the longer one has.
    inA = i < a.size() ? codePointAt(a, i, lengthA) : 0;
    inB = i < b.size() ? codePointAt(b, i, lengthB) : 0;
    return true;
}

bool isNameStart(char32_t character) {
    return character == U'_' || QChar::isLetter(character);
}

bool isNamePart(char32_t character) {
    if (isNameStart(character) || QChar::isDigit(character))
        return true;
    const QChar::Category category = QChar::category(character);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining;
}

bool isModelName(QStringView text) {
    if (text.isEmpty())
        return false;
    for (qsizetype i = 0, length = 0; i < text.size(); i += length) {
        const char32_t character = codePointAt(text, i, length);
        if (!(i == 0 ? isNameStart(character) : isNamePart(character)))
            return false;
    }
    return true;
}

QString visibleText(QStringView text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0, length = 0; i < text.size(); i += length) {
        const char32_t character = codePointAt(text, i, length);
        switch (character) {
        case U'\t':
            shown += QLatin1String("\\t");
            break;
        case U'\n':
            shown += QLatin1String("\\n");
            break;
        case U'\r':
            shown += QLatin1String("\\r");
            break;
        default:
            if (isInvisible(character) || QChar::isSurrogate(character))
                shown += QStringLiteral("\\u{%1}").arg(quint32(character), 0, 16);
            else
                shown += text.mid(i, length);
        }
    }
    return shown;
}

QString shortenedInTheMiddle(const QString &text, int longest) {
    if (text.size() <= longest)
        return text;
    qsizetype head = (longest - 1) / 2;
    qsizetype tail = longest - 1 - head;
    if (text.at(head - 1).isHighSurrogate())
        --head;
    if (text.at(text.size() - tail).isLowSurrogate())
        --tail;
    return text.left(head) + QChar(0x2026) + text.right(tail);
}
