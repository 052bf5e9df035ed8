// SPDX-License-Identifier: GPL-3.0-or-later
#include "writercomparison.h"

#include "modelnames.h"
#include "writtenblocks.h"

#include <QCoreApplication>

#include <cstring>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("WriterComparison", text);
}

constexpr qsizetype ContextBefore = 16;   // characters shown before the first difference
constexpr qsizetype ContextAfter = 40;    // and from it on
constexpr char16_t Marker = u'\u25b8';    // where the texts part
constexpr qsizetype KeptLineBytes = 256;  // of the current line, before the difference
constexpr qsizetype CollectedBytes = 256; // of each line, after the difference

qsizetype commonPrefixLength(const char *a, const char *b, qsizetype length) {
    qsizetype i = 0;
    while (i + 8 <= length && std::memcmp(a + i, b + i, 8) == 0)
        i += 8;
    while (i < length && a[i] == b[i])
        ++i;
    return i;
}

qsizetype characterCount(const char *bytes, qsizetype length) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < length; ++i)
        count += (uchar(bytes[i]) & 0xC0) != 0x80;
    return count;
}

} // namespace

class WriterComparison::Comparer {
public:
    explicit Comparer(const ModelOptions &options)
        : written(options) {}

    // Compares the file's bytes as the reader reads them: without a byte-order mark at the
    // start, and with each line end, CR LF or a lone CR, as the writer's LF. A CR at the end of
    // a block waits for the next block to tell which it is, as the first bytes wait for three.
    void compare(QByteArrayView bytes) {
        if (!started) {
            const qsizetype wanted = std::min<qsizetype>(bytes.size(), 3 - head.size());
            head.append(bytes.first(wanted));
            bytes = bytes.sliced(wanted);
            if (head.size() < 3)
                return;
            startComparing();
        }
        compareLineEnds(bytes);
    }

    void finish() {
        if (!started)
            startComparing();
        if (carriageReturnPending) {
            carriageReturnPending = false;
            take("\n", 1);
        }
        if (phase == Phase::Comparing) {
            if (!expectedAvailable()) {
                phase = Phase::Done;
                written.stop();
                return;
            }
            beginDifference();
        }
        if (phase == Phase::Collecting) {
            foundEnded = !foundLineEnded;
            foundCollected = true;
            endWhenCollected();
        }
    }

    std::optional<Difference> difference() const {
        if (!differs)
            return std::nullopt;
        Difference difference;
        difference.line = line;
        difference.column = differenceColumn;
        difference.expected = describeSide(expectedRest, expectedEnded, expectedLineEnded);
        difference.found = describeSide(foundRest, foundEnded, foundLineEnded);
        return difference;
    }

private:
    enum class Phase { Comparing, Collecting, Done };

    void startComparing() {
        started = true;
        if (head != QByteArrayView("\xEF\xBB\xBF"))
            compareLineEnds(head);
        head.clear();
    }

    void compareLineEnds(QByteArrayView bytes) {
        const char *p = bytes.data();
        const char *end = p + bytes.size();
        if (carriageReturnPending && p < end) {
            carriageReturnPending = false;
            if (*p != '\n')
                take("\n", 1);
        }
        while (p < end && phase != Phase::Done) {
            const char *cr = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p)));
            take(p, (cr ? cr : end) - p);
            if (!cr)
                break;
            p = cr + 1;
            if (p == end)
                carriageReturnPending = true;
            else if (*p != '\n')
                take("\n", 1);
        }
    }

    // Bytes of the file, CR LF already turned into LF.
    void take(const char *p, qsizetype length) {
        while (length > 0 && phase == Phase::Comparing) {
            if (!expectedAvailable()) {
                beginDifference();
                break;
            }
            const qsizetype comparable = std::min(length, block.size() - blockPosition);
            const qsizetype same =
                commonPrefixLength(p, block.constData() + blockPosition, comparable);
            passMatched(p, same);
            blockPosition += same;
            p += same;
            length -= same;
            if (same < comparable)
                beginDifference();
        }
        if (phase == Phase::Collecting && !foundCollected) {
            foundCollected = collectLine(foundRest, p, length, foundLineEnded);
            endWhenCollected();
        }
    }

    bool expectedAvailable() {
        while (blockPosition == block.size() && !expectedEndReached) {
            block = written.next();
            blockPosition = 0;
            expectedEndReached = block.isEmpty();
        }
        return !expectedEndReached;
    }

    // Counts the lines the matched bytes end and keeps the tail of the current line.
    void passMatched(const char *p, qsizetype length) {
        const char *end = p + length;
        const char *lineBegin = p;
        for (const char *q = p;
             (q = static_cast<const char *>(std::memchr(q, '\n', size_t(end - q)))); ++q) {
            ++line;
            lineBegin = q + 1;
        }
        if (lineBegin != p) {
            lineSoFar.resize(0);
            charactersDropped = 0;
        }
        lineSoFar.append(lineBegin, end - lineBegin);
        if (lineSoFar.size() > 2 * KeptLineBytes) {
            const qsizetype dropped = lineSoFar.size() - KeptLineBytes;
            charactersDropped += characterCount(lineSoFar.constData(), dropped);
            lineSoFar.remove(0, dropped);
        }
    }

    void beginDifference() {
        differs = true;
        phase = Phase::Collecting;
        differenceColumn =
            charactersDropped + characterCount(lineSoFar.constData(), lineSoFar.size()) + 1;
        while (expectedAvailable()) {
            const char *p = block.constData() + blockPosition;
            const qsizetype available = block.size() - blockPosition;
            const bool done = collectLine(expectedRest, p, available, expectedLineEnded);
            blockPosition = block.size();
            if (done)
                break;
        }
        expectedEnded = !expectedLineEnded && expectedEndReached;
    }

    // Appends the bytes up to the end of the line, or up to the limit; true when either is
    // reached.
    static bool collectLine(QByteArray &rest, const char *p, qsizetype length, bool &lineEnded) {
        const char *newline = static_cast<const char *>(std::memchr(p, '\n', size_t(length)));
        const qsizetype wanted = newline ? newline - p : length;
        const qsizetype taken = std::min(wanted, CollectedBytes - rest.size());
        rest.append(p, taken);
        lineEnded = newline && taken == wanted;
        return lineEnded || rest.size() >= CollectedBytes;
    }

    void endWhenCollected() {
        if (foundCollected) {
            phase = Phase::Done;
            written.stop();
        }
    }

    // A little of the line before the difference, a marker, and the text from the difference
    // on, on this side.
    QString describeSide(const QByteArray &rest, bool endsFile, bool lineEnded) const {
        QString before = QString::fromUtf8(lineSoFar);
        QString after = QString::fromUtf8(rest);
        if (endsFile && before.isEmpty() && after.isEmpty())
            return tr("the end of the file");
        if (lineEnded && before.isEmpty() && after.isEmpty())
            return tr("an empty line");
        const bool beforeCut = charactersDropped > 0 || before.size() > ContextBefore;
        const bool afterCut = after.size() > ContextAfter || (!lineEnded && !endsFile);
        before = before.right(ContextBefore);
        after = after.left(ContextAfter);
        const QString ellipsis(QChar(0x2026));
        const QString text =
            QStringLiteral("\"%1%2%3%4%5\"")
                .arg(beforeCut ? ellipsis : QString(), visibleText(before), QString(Marker),
                     visibleText(after), afterCut ? ellipsis : QString());
        if (endsFile)
            return tr("%1 and then the end of the file").arg(text);
        if (after.isEmpty())
            return tr("%1 and then the end of the line").arg(text);
        return text;
    }

    WrittenBlocks written;

    Phase phase = Phase::Comparing;
    QByteArray block;
    qsizetype blockPosition = 0;
    bool expectedEndReached = false;
    bool started = false;
    QByteArray head; // the first bytes, until they tell whether they are a byte-order mark
    bool carriageReturnPending = false;

    qint64 line = 1;
    QByteArray lineSoFar; // the tail of the current line, up to the difference
    qsizetype charactersDropped = 0;

    bool differs = false;
    qint64 differenceColumn = 0;
    QByteArray expectedRest;
    QByteArray foundRest;
    bool expectedLineEnded = false;
    bool foundLineEnded = false;
    bool expectedEnded = false;
    bool foundEnded = false;
    bool foundCollected = false;
};

WriterComparison::WriterComparison(const ModelOptions &options)
    : comparer(std::make_unique<Comparer>(options)) {}

WriterComparison::~WriterComparison() = default;

void WriterComparison::compare(QByteArrayView bytes) {
    comparer->compare(bytes);
}

void WriterComparison::finish() {
    comparer->finish();
}

std::optional<WriterComparison::Difference> WriterComparison::difference() const {
    return comparer->difference();
}
