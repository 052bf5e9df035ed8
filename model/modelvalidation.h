// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"

#include <QList>
#include <QString>
#include <QStringConverter>

#include <functional>
#include <limits>

// The inputs of a model, for naming them in messages.
enum class ModelField {
    SurvivalParameter,
    DetectionParameter,
    FinalParameter,
    NoMoreDetections,
    DetectedSymbol,
    NotDetectedSymbol,
    CensoringParameter,
    CensoredSymbol,
};

// Something about the inputs that would make a broken or a wrong model file.
struct ModelFinding {
    enum class Kind {
        LineBreak,         // refused: the file's lines would break apart
        ControlCharacter,  // refused: a tab or another control character has no place there
        Separator,         // refused: "," or ";" would split an item or end a line early
        Unencodable,       // refused: the file's encoding has no bytes for a character
        EmptyConstantName, // refused: a parameter the same for every occasion would have no name
        EmptyName,         // asked: a name of the file would be a bare number, or missing
        NotAName,          // asked: the names would not read as names in a product
        NameClash,         // asked: two parameters or variables of the file read alike
        LookAlikeNames,    // asked: two different names of the file read alike ("p1", "р1")
        AmbiguousSymbols,  // asked: histories could not be read back unambiguously
    };

    Kind kind;
    QList<ModelField> fields; // the fields involved, one or two, in the form's order
    QString text;     // the field's text; the offending character when Unencodable; the name
                      // two fields share when NameClash; the first field's name when LookAlikeNames
    int position = 0; // where the offending character stands in the field (from 1), or 0
    QString otherText = QString(); // LookAlikeNames: the second field's name

    bool isRefusal() const {
        return kind == Kind::LineBreak || kind == Kind::ControlCharacter || kind == Kind::Separator
               || kind == Kind::Unencodable || kind == Kind::EmptyConstantName;
    }
};

// Checks the texts that go into the file, before anything is written. Refusals (the file's
// syntax would break) come first, at most one per field; a refused field is not asked about.
// The rest are questions for the analyst (a doubtful model). Name clashes are found by
// listing every parameter and variable name the file holds, so the check is exact for every
// N, S0 and reduced model; names that differ but read alike are found by their confusable
// skeletons, in time linear in the number of names. Texts the file does not hold (the
// censoring ones without censoring, the final parameter's name when F is a product) are not
// checked.
QList<ModelFinding> validateModel(const ModelOptions &options,
                                  QStringConverter::Encoding encoding = QStringConverter::System);

// A sentence for the analyst that names the field and shows its text with invisible
// characters made visible; fieldName says how the front-end calls a field (a form label, a
// command-line option). A text longer than `longestText` characters is shown shortened in the
// middle; the character a finding is about is told from the whole text.
QString describeFinding(const ModelFinding &finding,
                        const std::function<QString(ModelField)> &fieldName,
                        int longestText = std::numeric_limits<int>::max());

// Whether a text holds a character that ends a line (LF, CR, VT, FF, NEL, LS, PS).
bool containsLineBreak(const QString &text);
