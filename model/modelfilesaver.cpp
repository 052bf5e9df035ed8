// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelfilesaver.h"

#include "modeloptions.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTextStream>

FreeSpace freeSpaceFor(const QString &fileName, UInt128 neededBytes) {
    FreeSpace space;
    space.needed = neededBytes;
    const QStorageInfo volume(QFileInfo(fileName).absolutePath());
    if (volume.isValid() && volume.isReady()) {
        space.known = true;
        space.available = volume.bytesAvailable();
    }
    return space;
}

SaveResult saveModelDefinition(const QString &fileName, const ModelOptions &options,
                               const ModelDefinitionWriter::Progress &progress) {
    // Unbuffered: Qt 6.4's QSaveFile::commit() ignores a failure of the flush it does itself
    // and would put a truncated file in place. The writer hands over large blocks anyway.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered))
        return {SaveResult::Status::OpenFailed, file.errorString()};

    QTextStream out(&file);
    out.setEncoding(QStringConverter::System);
    const auto outcome = ModelDefinitionWriter::write(out, options, progress);
    out.flush();

    if (outcome == ModelDefinitionWriter::Outcome::Cancelled) {
        file.cancelWriting();
        return {SaveResult::Status::Cancelled, QString()};
    }
    if (outcome == ModelDefinitionWriter::Outcome::Failed || out.status() != QTextStream::Ok
        || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {SaveResult::Status::WriteFailed, reason};
    }
    if (!file.commit())
        return {SaveResult::Status::WriteFailed, file.errorString()};
    return {SaveResult::Status::Saved, QString()};
}
