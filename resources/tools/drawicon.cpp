// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the application icon: the 128 x 128 PNG embedded in the program and the Windows
// icon group (one 128 x 128 image with a 256-colour palette).
// Usage: tarskcjs_drawicon <png-file> <ico-file>

#include <QBuffer>
#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int Side = 128;

// A bird ring with its number tag above one capture history: detected, missed, detected,
// detected.
QImage drawArtwork() {
    QImage image(Side, Side, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, Side);
    sky.setColorAt(0, QColor(0x1d, 0x35, 0x57));
    sky.setColorAt(1, QColor(0x2a, 0x6f, 0x97));
    painter.fillRect(image.rect(), sky);

    const QColor band(0xf1, 0xfa, 0xee);
    const QColor tag(0xf4, 0xa2, 0x61);

    painter.setPen(QPen(band, 11));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(54, 50), 29, 29);

    QPainterPath tagShape;
    tagShape.addRoundedRect(QRectF(78, 34, 34, 24), 5, 5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tag);
    painter.drawPath(tagShape);
    painter.setBrush(QColor(0x1d, 0x35, 0x57));
    painter.drawEllipse(QPointF(86, 46), 3.5, 3.5);

    const bool detected[] = {true, false, true, true};
    for (int i = 0; i < 4; ++i) {
        const QPointF centre(22 + i * 28, 106);
        if (detected[i]) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(tag);
        } else {
            painter.setPen(QPen(band, 3));
            painter.setBrush(Qt::NoBrush);
        }
        painter.drawEllipse(centre, 9, 9);
    }
    painter.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

// One BMP-style image: header, 256-entry palette, bottom-up 8-bit pixels, all-opaque mask.
QByteArray icoImage(const QImage &indexed) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(40) << qint32(Side) << qint32(2 * Side) << quint16(1) << quint16(8) << quint32(0)
        << quint32(0) << qint32(0) << qint32(0) << quint32(256) << quint32(0);
    QList<QRgb> palette = indexed.colorTable();
    palette.resize(256, qRgb(0, 0, 0));
    for (const QRgb colour : palette)
        out << quint8(qBlue(colour)) << quint8(qGreen(colour)) << quint8(qRed(colour)) << quint8(0);
    for (int y = Side - 1; y >= 0; --y)
        out.writeRawData(reinterpret_cast<const char *>(indexed.constScanLine(y)), Side);
    const QByteArray maskRow(Side / 8, '\0');
    for (int y = 0; y < Side; ++y)
        out.writeRawData(maskRow.constData(), int(maskRow.size()));
    return bytes;
}

QByteArray icoFile(const QImage &artwork) {
    const QImage indexed = artwork.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    const QByteArray image = icoImage(indexed);

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(1);                // icon directory, 1 image
    out << quint8(Side) << quint8(Side) << quint8(0) << quint8(0) // 0: 256 colours or more
        << quint16(1) << quint16(8) << quint32(image.size()) << quint32(6 + 16);
    out.writeRawData(image.constData(), int(image.size()));
    return bytes;
}

bool save(const QString &fileName, const QByteArray &bytes) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        QTextStream(stderr) << fileName << ": " << file.errorString() << Qt::endl;
        return false;
    }
    return true;
}

QByteArray pngFile(const QImage &artwork) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    artwork.save(&buffer, "PNG");
    return bytes;
}

} // namespace

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        QTextStream(stderr) << "usage: tarskcjs_drawicon <png-file> <ico-file>" << Qt::endl;
        return 2;
    }
    const QImage artwork = drawArtwork();
    const bool saved =
        save(arguments.at(1), pngFile(artwork)) && save(arguments.at(2), icoFile(artwork));
    return saved ? 0 : 1;
}
