// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

struct ModelOptions;

// Compares a file, as its bytes come in, with what ModelDefinitionWriter::write makes for some
// options (UTF-8, LF line ends) and finds the first line that differs. The CR of a CR LF line
// end in the file is not compared, so a file saved with Windows line ends matches too.
//
// The writer runs on a thread of its own into a queue of a few blocks, and the comparison takes
// block after block from it: neither text is ever held whole, and the writer stops as soon as
// the outcome is known.
class WriterComparison {
public:
    struct Difference {
        qint64 line = 0;
        qint64 column = 0; // in characters, from 1
        QString expected;  // a quoted excerpt of the line, or "the end of the file"
        QString found;
    };

    explicit WriterComparison(const ModelOptions &options);
    ~WriterComparison();

    void compare(QByteArrayView bytes); // the file's next bytes
    void finish();                      // the file has ended

    std::optional<Difference> difference() const;

    WriterComparison(const WriterComparison &) = delete;
    WriterComparison &operator=(const WriterComparison &) = delete;

private:
    class Comparer;
    std::unique_ptr<Comparer> comparer;
};
