// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"

#include <QList>
#include <QString>
#include <QStringConverter>

#include <functional>

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
        LineBreak,        // refused: the file's lines would break apart
        Unencodable,      // refused: the file's encoding has no bytes for a character
        NameClash,        // warning: two parameters or variables of the file read alike
        AmbiguousSymbols, // warning: histories could not be read back unambiguously
    };

    Kind kind;
    QList<ModelField> fields; // the fields involved, one or two
    QString text;             // the offending character, the clashing name or the symbol

    bool isRefusal() const { return kind == Kind::LineBreak || kind == Kind::Unencodable; }
};

// Checks the texts that go into the file, before anything is written. Refusals come first.
// Name clashes are found by listing every parameter and variable name of the file, so the
// check is exact for every N and S0.
QList<ModelFinding> validateModel(const ModelOptions &options,
                                  QStringConverter::Encoding encoding = QStringConverter::System);

// A sentence for the analyst; fieldName says how the front-end calls a field (a form label,
// a command-line option).
QString describeFinding(const ModelFinding &finding,
                        const std::function<QString(ModelField)> &fieldName);

// Whether a text holds a character that ends a line (LF, CR, VT, FF, NEL, LS, PS).
bool containsLineBreak(const QString &text);
