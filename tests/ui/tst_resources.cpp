// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QTest>
#include <QXmlStreamReader>
#include <QtEndian>

namespace {

const QString ResourcesDir = QStringLiteral(TARSKCJS_RESOURCES_DIR);

QByteArray readAll(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(fileName));
    return file.readAll();
}

// Unsigned fields given as (offset, size), shown as "name=value" pairs.
QString fields(const QByteArray &bytes, QSysInfo::Endian order,
               const QList<std::pair<const char *, QPoint>> &layout) {
    QStringList values;
    for (const auto &[name, field] : layout) {
        quint32 value = 0;
        for (int i = 0; i < field.y(); ++i) {
            const int at = order == QSysInfo::BigEndian ? i : field.y() - 1 - i;
            value = (value << 8) | quint8(bytes.at(field.x() + at));
        }
        values.append(QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(value));
    }
    return values.join(QLatin1Char(' '));
}

} // namespace

class tst_Resources : public QObject {
    Q_OBJECT

private slots:
    void iconIsOpaqueRgbPng();
    void windowsIconHasOne256ColourImage();
    void manifestAsksForCommonControls6();
};

void tst_Resources::iconIsOpaqueRgbPng() {
    const QByteArray png = readAll(ResourcesDir + QStringLiteral("/icons/TarskCjs.png"));
    QCOMPARE(readAll(QStringLiteral(":icons/TarskCjs.png")), png);
    QVERIFY(png.startsWith(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)));
    QCOMPARE(fields(png.mid(16, 13), QSysInfo::BigEndian,
                    {{"width", {0, 4}},
                     {"height", {4, 4}},
                     {"depth", {8, 1}},
                     {"colourType", {9, 1}},
                     {"interlace", {12, 1}}}),
             QString("width=128 height=128 depth=8 colourType=2 interlace=0"));
    QVERIFY2(!png.contains("tRNS"), "the icon has transparency");
}

void tst_Resources::windowsIconHasOne256ColourImage() {
    const QByteArray ico = readAll(ResourcesDir + QStringLiteral("/windows/TarskCjs.ico"));
    // header, entry, bitmap header, palette, 8-bit pixels, 1-bit mask
    QCOMPARE(ico.size(), 6 + 16 + 40 + 256 * 4 + 128 * 128 + 128 * 128 / 8);
    QCOMPARE(fields(ico, QSysInfo::LittleEndian,
                    {{"reserved", {0, 2}},
                     {"type", {2, 2}},
                     {"count", {4, 2}},
                     {"width", {6, 1}},
                     {"height", {7, 1}},
                     {"colours", {8, 1}},
                     {"planes", {10, 2}},
                     {"bits", {12, 2}},
                     {"bytes", {14, 4}},
                     {"offset", {18, 4}}}),
             QString("reserved=0 type=1 count=1 width=128 height=128 colours=0 planes=1 bits=8 "
                     "bytes=%1 offset=22")
                 .arg(ico.size() - 22));
    QCOMPARE(fields(ico.mid(22), QSysInfo::LittleEndian,
                    {{"headerSize", {0, 4}},
                     {"width", {4, 4}},
                     {"height", {8, 4}},
                     {"bits", {14, 2}},
                     {"compression", {16, 4}},
                     {"paletteSize", {32, 4}}}),
             QString("headerSize=40 width=128 height=256 bits=8 compression=0 paletteSize=256"));
}

void tst_Resources::manifestAsksForCommonControls6() {
    QXmlStreamReader xml(readAll(ResourcesDir + QStringLiteral("/windows/TarskCjs.manifest")));
    QStringList dependencies;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement
            || xml.name() != QLatin1String("assemblyIdentity")
            || xml.namespaceUri() != QLatin1String("urn:schemas-microsoft-com:asm.v1"))
            continue;
        const QXmlStreamAttributes identity = xml.attributes();
        QStringList values;
        for (const char *name :
             {"type", "name", "version", "processorArchitecture", "publicKeyToken", "language"})
            values.append(identity.value(QLatin1String(name)).toString());
        dependencies.append(values.join(QLatin1Char(' ')));
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY2(dependencies.contains("win32 Microsoft.Windows.Common-Controls 6.0.0.0 * "
                                   "6595b64144ccf1df *"),
             qPrintable(dependencies.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_Resources)
#include "tst_resources.moc"
