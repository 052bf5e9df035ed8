// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "descriptordevice.h"
#include "modeldefinitionwriter.h"
#include "modeloptions.h"
#include "testfiles.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QMetaType>
#include <QString>
#include <QTextStream>

#include <fcntl.h>
#include <unistd.h>

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

// How a test opens the regular file the writer writes into: through a file device, as the
// programs open the files they save, or as a descriptor that someone else opened, as a shell
// opens standard output for `> FILE`; each also for appending (`>> FILE`).
enum class FileOpening { FileDevice, AppendingFileDevice, Descriptor, AppendingDescriptor };
Q_DECLARE_METATYPE(FileOpening)

struct FileWriting {
    ModelDefinitionWriter::Outcome outcome = ModelDefinitionWriter::Outcome::Failed;
    QTextStream::Status status = QTextStream::Ok; // after the caller's flush
    QByteArray bytes;                             // the whole file afterwards
};

// Writes the model into the file at `path`, which holds `before` (written through the device
// that then writes the model, or there already when it appends), and then `after` through the
// same device or, for a descriptor, straight to it, as the shell's next command would.
inline FileWriting writtenIntoFile(const QString &path, const ModelOptions &options,
                                   FileOpening opening, const QByteArray &before = {},
                                   const QByteArray &after = {}) {
    const bool appending =
        opening == FileOpening::AppendingFileDevice || opening == FileOpening::AppendingDescriptor;
    FileWriting result;
    if (!writeFile(path, appending ? before : QByteArray()))
        return result;
    const auto writeModel = [&](QIODevice &device) {
        QTextStream out(&device);
        out.setEncoding(QStringConverter::System);
        result.outcome = ModelDefinitionWriter::write(out, options, {});
        out.flush();
        result.status = out.status();
    };
    if (opening == FileOpening::FileDevice || opening == FileOpening::AppendingFileDevice) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered
                       | (appending ? QIODevice::Append : QIODevice::NotOpen)))
            return result;
        if (!appending)
            file.write(before);
        writeModel(file);
        file.write(after);
    } else {
        const int handle = ::open(QFile::encodeName(path).constData(),
                                  O_WRONLY | (appending ? O_APPEND : 0) | O_CLOEXEC);
        if (handle < 0)
            return result;
        if (!appending && ::write(handle, before.constData(), size_t(before.size())) < 0)
            result.status = QTextStream::WriteFailed;
        DescriptorDevice device(handle, DescriptorDevice::Ownership::Borrowed);
        writeModel(device);
        if (::write(handle, after.constData(), size_t(after.size())) < 0)
            result.status = QTextStream::WriteFailed;
        ::close(handle);
    }
    result.bytes = readFile(path);
    return result;
}
