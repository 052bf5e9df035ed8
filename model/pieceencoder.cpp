// SPDX-License-Identifier: GPL-3.0-or-later
#include "pieceencoder.h"

PieceEncoder::PieceEncoder(QStringConverter::Encoding encoding)
    : encoding(encoding)
    , encoder(encoding, QStringConverter::Flag::Stateless) {}

QByteArray PieceEncoder::encode(QStringView text) {
    encoder.resetState();
    return encoder.encode(text);
}

// A stateless encoder does not count what it replaces (Qt 6.4's Latin-1 turns U+0142 into "?"
// without an error), so the check uses an encoder with state. That one keeps a high surrogate
// at the end waiting for its pair, which a complete text never brings.
bool PieceEncoder::canEncode(QStringView text) {
    QStringEncoder checker(encoding);
    const QByteArray bytes = checker.encode(text);
    Q_UNUSED(bytes);
    return !checker.hasError() && (text.isEmpty() || !text.back().isHighSurrogate());
}

bool PieceEncoder::isStateless(QStringConverter::Encoding encoding) {
    return encoding == QStringConverter::Utf8 || encoding == QStringConverter::Latin1
           || encoding == QStringConverter::System;
}
