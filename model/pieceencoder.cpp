// SPDX-License-Identifier: GPL-3.0-or-later
#include "pieceencoder.h"

PieceEncoder::PieceEncoder(QStringConverter::Encoding encoding)
    : encoder(encoding, QStringConverter::Flag::Stateless)
{
}

QByteArray PieceEncoder::encode(QStringView text)
{
    encoder.resetState();
    return encoder.encode(text);
}

bool PieceEncoder::canEncode(QStringView text)
{
    encoder.resetState();
    const QByteArray bytes = encoder.encode(text);
    Q_UNUSED(bytes);
    return !encoder.hasError();
}

bool PieceEncoder::isStateless(QStringConverter::Encoding encoding)
{
    return encoding == QStringConverter::Utf8 || encoding == QStringConverter::Latin1
        || encoding == QStringConverter::System;
}
