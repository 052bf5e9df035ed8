// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitionwriter.h"
#include "modeloptions.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QTextStream>

// The bytes the writer produces through a device, the way the programs write files.
inline QByteArray writtenBytes(const ModelOptions &options,
                               QStringConverter::Encoding encoding = QStringConverter::Utf8) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QTextStream out(&buffer);
    out.setEncoding(encoding);
    ModelDefinitionWriter::write(out, options);
    out.flush();
    return bytes;
}

// The text the writer produces into a string, which goes through the stream itself.
inline QString writtenText(const ModelOptions &options) {
    QString text;
    QTextStream out(&text);
    ModelDefinitionWriter::write(out, options);
    out.flush();
    return text;
}

inline ModelOptions withPeriods(int numPeriods, bool censoring = false) {
    ModelOptions options;
    options.numPeriods = numPeriods;
    options.censoring = censoring;
    return options;
}

// What the programs write into a file for these options (the system's encoding).
inline QByteArray expectedFileBytes(const ModelOptions &options) {
    return writtenBytes(options, QStringConverter::System);
}
