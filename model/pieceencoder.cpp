// SPDX-License-Identifier: GPL-3.0-or-later
#include "pieceencoder.h"

PieceEncoder::PieceEncoder(QStringConverter::Encoding encoding)
    : encoding(encoding)
    , encoder(encoding, QStringConverter::Flag::Stateless) {}

QByteArray PieceEncoder::encode(QStringView text) {
    encoder.resetState();
    return encoder.encode(text);
}

namespace {

// A surrogate that is not half of a pair stands for no character, whatever the encoding.
bool hasUnpairedSurrogate(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

} // namespace

// A stateless encoder does not count what it replaces (Qt 6.4's Latin-1 turns U+0142 into "?"
// without an error), so the check uses an encoder with state. That one keeps a surrogate at
// the end pending instead of refusing it, hence the explicit check for unpaired surrogates.
bool PieceEncoder::canEncode(QStringView text) {
    if (hasUnpairedSurrogate(text))
        return false;
    QStringEncoder checker(encoding);
    const QByteArray bytes = checker.encode(text);
    Q_UNUSED(bytes);
    return !checker.hasError();
}

bool PieceEncoder::isStateless(QStringConverter::Encoding encoding) {
    return encoding == QStringConverter::Utf8 || encoding == QStringConverter::Latin1
           || encoding == QStringConverter::System;
}
