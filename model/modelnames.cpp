// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelnames.h"

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

} // namespace

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
