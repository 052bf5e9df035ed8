// SPDX-License-Identifier: GPL-3.0-or-later
// The writer on any options with N up to 12: it writes exactly as many bytes as the size
// arithmetic says, one likelihood line per history, every line ending as the format says, and
// the same text through the stream as straight to the device.
#include "modeldefinitionsize.h"
#include "modeldefinitionwriter.h"
#include "modeloptions.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QList>
#include <QStringEncoder>
#include <QTextStream>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr qsizetype MaxTextLength = 16;

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool isLineBreak(QChar c) {
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f' || u == 0x0085 || u == 0x2028
           || u == 0x2029;
}

// Texts with a line break are refused before anything is written, so they are left out here.
QString textFrom(const QByteArray &bytes, bool utf16) {
    QString text =
        utf16 ? QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2)
              : QString::fromUtf8(bytes);
    text.removeIf(isLineBreak);
    return text.left(MaxTextLength);
}

struct Input {
    ModelOptions options;
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
};

// Byte 0: N (2 to 12); byte 1: S0 (0 to 99); byte 2: bit 0 censoring, bit 1 initial release,
// bit 2 Latin-1 instead of UTF-8, bit 3 texts as raw UTF-16, bits 4 to 6 constant survival,
// detection and censoring. Then the texts, separated by
// 0xFF bytes: survival, detection, final, no-more-detections, detected, not detected,
// censoring parameter, censored; missing ones keep the form's defaults.
bool decode(const std::uint8_t *data, std::size_t size, Input &input) {
    if (size < 3)
        return false;
    ModelOptions &o = input.options;
    o.numPeriods = 2 + data[0] % 11;
    o.initialSurvivalIndex = data[1] % 100;
    o.censoring = data[2] & 1;
    o.initialRelease = data[2] & 2;
    input.encoding = data[2] & 4 ? QStringConverter::Latin1 : QStringConverter::Utf8;
    const bool utf16 = data[2] & 8;
    o.constantSurvival = data[2] & 16;
    o.constantDetection = data[2] & 32;
    o.constantCensoring = data[2] & 64;

    const std::array<QString *, 8> texts = {
        &o.survivalParameter, &o.detectionParameter, &o.finalParameter,     &o.noMoreDetections,
        &o.detectedSymbol,    &o.notDetectedSymbol,  &o.censoringParameter, &o.censoredSymbol};
    const QByteArray rest(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));
    const QList<QByteArray> pieces = rest.split('\xff');
    for (qsizetype i = 0; i < pieces.size() && i < qsizetype(texts.size()); ++i)
        *texts[size_t(i)] = textFrom(pieces.at(i), utf16);
    return true;
}

// Room for the whole file up front: growing buffers would cost more than the writing.
QByteArray writeToDevice(const Input &input, qsizetype expectedSize) {
    QByteArray bytes;
    bytes.reserve(expectedSize);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QTextStream out(&buffer);
    out.setEncoding(input.encoding);
    const auto outcome = ModelDefinitionWriter::write(out, input.options, {});
    out.flush();
    check(outcome == ModelDefinitionWriter::Outcome::Completed);
    check(out.status() == QTextStream::Ok);
    return bytes;
}

QString writeToString(const Input &input, qsizetype expectedSize) {
    QString text;
    text.reserve(expectedSize);
    QTextStream out(&text);
    const auto outcome = ModelDefinitionWriter::write(out, input.options, {});
    out.flush();
    check(outcome == ModelDefinitionWriter::Outcome::Completed);
    return text;
}

// The file's lines one after another; each must end with a newline.
class Lines {
public:
    explicit Lines(QByteArrayView bytes)
        : rest(bytes) {}

    QByteArrayView next() {
        const qsizetype end = rest.indexOf('\n');
        check(end >= 0);
        const QByteArrayView line = rest.first(end);
        rest = rest.sliced(end + 1);
        return line;
    }
    bool atEnd() const { return rest.isEmpty(); }

private:
    QByteArrayView rest;
};

// `count` lines that end in "," but the last one, which ends in ";".
void checkSection(Lines &lines, qint64 count) {
    for (qint64 i = 1; i <= count; ++i) {
        const QByteArrayView line = lines.next();
        check(!line.endsWith(' '));
        check(line.endsWith(i < count ? ',' : ';'));
    }
}

// parameters, its lines, "", variables, N lines, "", likelihood, the header, one line per
// history, and nothing after the last newline.
void checkLines(const QByteArray &bytes, const ModelOptions &o) {
    // S, P (and C) of every occasion but the last, and F or, when survival or detection is
    // constant, S and P of the last ones; a constant name is declared once.
    const bool finalIsProduct = o.constantSurvival || o.constantDetection;
    const qint64 perOccasion = (o.constantSurvival ? 0 : 1) + (o.constantDetection ? 0 : 1)
                               + (o.censoring && !o.constantCensoring ? 1 : 0);
    const qint64 constants = (o.constantSurvival ? 1 : 0) + (o.constantDetection ? 1 : 0)
                             + (o.censoring && o.constantCensoring ? 1 : 0);
    const qint64 last =
        finalIsProduct ? (o.constantSurvival ? 0 : 1) + (o.constantDetection ? 0 : 1) : 1;
    const qint64 items = perOccasion * (o.numPeriods - 1) + constants + last - 1;
    const UInt128 histories = historyCount(o.numPeriods, o.censoring);
    check(histories.fitsIn64());

    Lines lines(bytes);
    check(lines.next() == "parameters");
    checkSection(lines, items / 5 + 1);
    check(lines.next().isEmpty());
    check(lines.next() == "variables");
    checkSection(lines, o.numPeriods);
    check(lines.next().isEmpty());
    check(lines.next() == "likelihood");
    check(lines.next() == "\"CJS Likelihood\"");
    checkSection(lines, qint64(histories.toUInt64Saturated()));
    check(lines.atEnd());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Input input;
    if (!decode(data, size, input))
        return 0;

    const ModelDefinitionSize expected = modelDefinitionSize(input.options, 1, input.encoding);
    check(expected.bytes.fitsIn64());
    const auto expectedSize = qsizetype(expected.bytes.toUInt64Saturated());
    const QByteArray bytes = writeToDevice(input, expectedSize);
    check(bytes.size() == expectedSize);
    check(expected.lines == historyCount(input.options.numPeriods, input.options.censoring));
    checkLines(bytes, input.options);

    QStringEncoder encoder(input.encoding);
    check(QByteArray(encoder.encode(writeToString(input, expectedSize))) == bytes);
    return 0;
}
