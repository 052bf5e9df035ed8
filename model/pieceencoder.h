// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringConverter>
#include <QStringEncoder>
#include <QStringView>

// Encodes pieces of text one at a time, each from a fresh state, so that pieces encoded apart
// and then joined give the bytes of the joined text. That holds for the stateless encodings
// a model file is written in (the system's, UTF-8, Latin-1).
class PieceEncoder {
public:
    explicit PieceEncoder(QStringConverter::Encoding encoding);

    QByteArray encode(QStringView text);
    // False when the encoding has no bytes for a character of the text.
    bool canEncode(QStringView text);

    static bool isStateless(QStringConverter::Encoding encoding);

private:
    QStringConverter::Encoding encoding;
    QStringEncoder encoder;
};
