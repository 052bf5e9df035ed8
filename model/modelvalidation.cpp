// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelvalidation.h"

#include "modeltext.h"
#include "pieceencoder.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringEncoder>

#include <algorithm>
#include <utility>

namespace {

struct FieldText {
    ModelField field;
    QString text;
};

// The texts that go into the file: the censoring ones only when censoring is on.
QList<FieldText> textsInFile(const ModelOptions &options) {
    QList<FieldText> texts = {
        {ModelField::SurvivalParameter, options.survivalParameter},
        {ModelField::DetectionParameter, options.detectionParameter},
        {ModelField::FinalParameter, options.finalParameter},
        {ModelField::NoMoreDetections, options.noMoreDetections},
        {ModelField::DetectedSymbol, options.detectedSymbol},
        {ModelField::NotDetectedSymbol, options.notDetectedSymbol},
    };
    if (options.censoring) {
        texts.append({ModelField::CensoringParameter, options.censoringParameter});
        texts.append({ModelField::CensoredSymbol, options.censoredSymbol});
    }
    return texts;
}

QString firstUnencodable(const QString &text, PieceEncoder &encoder) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        if (!encoder.canEncode(character))
            return character.toString();
        i += length - 1;
    }
    return QString();
}

void findRefusals(const ModelOptions &options, QStringConverter::Encoding encoding,
                  QList<ModelFinding> &findings) {
    PieceEncoder encoder(encoding);
    for (const FieldText &input : textsInFile(options)) {
        if (containsLineBreak(input.text)) {
            findings.append({ModelFinding::Kind::LineBreak, {input.field}, input.text});
        } else if (!encoder.canEncode(input.text)) {
            findings.append({ModelFinding::Kind::Unencodable,
                             {input.field},
                             firstUnencodable(input.text, encoder)});
        }
    }
}

// Every parameter and variable name of the file, with the field whose stem makes it.
QList<FieldText> namesInFile(const ModelOptions &options) {
    QList<FieldText> names;
    for (int i = 1; i <= options.numPeriods - 1; ++i) {
        names.append({ModelField::SurvivalParameter, ModelText::survival(options, i)});
        names.append({ModelField::DetectionParameter, ModelText::detection(options, i)});
        if (options.censoring)
            names.append({ModelField::CensoringParameter, ModelText::censoring(options, i)});
    }
    names.append({ModelField::FinalParameter, options.finalParameter});
    for (int k = 0; k <= options.numPeriods - 1; ++k)
        names.append({ModelField::NoMoreDetections, ModelText::noMoreDetections(options, k)});
    return names;
}

// One finding per pair of fields, with the first name they share. Names made from one stem
// differ in their numbers, so a clash always involves two fields; a name that three fields
// give makes three pairs, so every field that gave a name so far is kept.
void findNameClashes(const ModelOptions &options, QList<ModelFinding> &findings) {
    QHash<QString, QList<ModelField>> owners;
    QList<std::pair<ModelField, ModelField>> reported;
    for (const FieldText &name : namesInFile(options)) {
        QList<ModelField> &fields = owners[name.text];
        for (const ModelField owner : std::as_const(fields)) {
            if (owner == name.field || reported.contains({owner, name.field}))
                continue;
            reported.append({owner, name.field});
            findings.append({ModelFinding::Kind::NameClash, {owner, name.field}, name.text});
        }
        if (!fields.contains(name.field))
            fields.append(name.field);
    }
}

bool containsSpace(const QString &text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

void findAmbiguousSymbols(const ModelOptions &options, QList<ModelFinding> &findings) {
    QList<FieldText> symbols = {
        {ModelField::DetectedSymbol, options.detectedSymbol},
        {ModelField::NotDetectedSymbol, options.notDetectedSymbol},
    };
    if (options.censoring)
        symbols.append({ModelField::CensoredSymbol, options.censoredSymbol});

    for (qsizetype a = 0; a < symbols.size(); ++a) {
        const FieldText &symbol = symbols.at(a);
        if (symbol.text.isEmpty() || containsSpace(symbol.text))
            findings.append({ModelFinding::Kind::AmbiguousSymbols, {symbol.field}, symbol.text});
        for (qsizetype b = a + 1; b < symbols.size(); ++b) {
            if (!symbol.text.isEmpty() && symbol.text == symbols.at(b).text) {
                findings.append({ModelFinding::Kind::AmbiguousSymbols,
                                 {symbol.field, symbols.at(b).field},
                                 symbol.text});
            }
        }
    }
}

QString tr(const char *text) {
    return QCoreApplication::translate("ModelValidation", text);
}

} // namespace

bool containsLineBreak(const QString &text) {
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\n':
        case u'\r':
        case u'\v':
        case u'\f':
        case 0x0085:
        case 0x2028:
        case 0x2029:
            return true;
        default:
            break;
        }
    }
    return false;
}

QList<ModelFinding> validateModel(const ModelOptions &options,
                                  QStringConverter::Encoding encoding) {
    QList<ModelFinding> findings;
    findRefusals(options, encoding, findings);
    findNameClashes(options, findings);
    findAmbiguousSymbols(options, findings);
    return findings;
}

QString describeFinding(const ModelFinding &finding,
                        const std::function<QString(ModelField)> &fieldName) {
    const QString first = fieldName(finding.fields.value(0));
    const QString second = finding.fields.size() > 1 ? fieldName(finding.fields.at(1)) : QString();
    switch (finding.kind) {
    case ModelFinding::Kind::LineBreak:
        return tr("%1 contains a line break, which would break the lines of the file. "
                  "Remove it and try again.")
            .arg(first);
    case ModelFinding::Kind::Unencodable:
        return tr("%1 contains \"%2\", which the file's text encoding cannot represent. "
                  "Replace it and try again.")
            .arg(first, finding.text);
    case ModelFinding::Kind::NameClash:
        return tr("%1 and %2 both give the name \"%3\", so two different quantities of the "
                  "model would read alike.")
            .arg(first, second, finding.text);
    case ModelFinding::Kind::AmbiguousSymbols:
        if (!second.isEmpty()) {
            return tr("%1 and %2 are both \"%3\", so histories could not be told apart.")
                .arg(first, second, finding.text);
        }
        if (finding.text.isEmpty())
            return tr("%1 is empty, so histories could not be read back.").arg(first);
        return tr("%1 \"%2\" contains a space, which separates the symbols of a history.")
            .arg(first, finding.text);
    }
    return QString();
}
