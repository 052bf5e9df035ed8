// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelvalidation.h"

#include "modelnames.h"
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
    bool constant = false; // the whole text is one parameter's name, with no number after it
};

// The texts that go into the file: the censoring ones only when censoring is on, the final
// parameter's name only when F is not written as a product.
QList<FieldText> textsInFile(const ModelOptions &options) {
    QList<FieldText> texts = {
        {ModelField::SurvivalParameter, options.survivalParameter, options.constantSurvival},
        {ModelField::DetectionParameter, options.detectionParameter, options.constantDetection},
    };
    if (!ModelText::finalIsProduct(options))
        texts.append({ModelField::FinalParameter, options.finalParameter});
    texts += QList<FieldText>{
        {ModelField::NoMoreDetections, options.noMoreDetections},
        {ModelField::DetectedSymbol, options.detectedSymbol},
        {ModelField::NotDetectedSymbol, options.notDetectedSymbol},
    };
    if (options.censoring) {
        texts.append({ModelField::CensoringParameter, options.censoringParameter,
                      options.constantCensoring});
        texts.append({ModelField::CensoredSymbol, options.censoredSymbol});
    }
    return texts;
}

bool isLineBreak(QChar c) {
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
        return false;
    }
}

bool isSeparator(QChar c) {
    return c == u',' || c == u';';
}

// The first character of a text that the predicate picks, counted from 1; 0 for none.
template<class Predicate> int firstPosition(const QString &text, Predicate picks) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (picks(text.at(i)))
            return int(i + 1);
    }
    return 0;
}

// The first character, whole, that the encoding cannot hold, and where it stands.
int firstUnencodable(const QString &text, PieceEncoder &encoder, QString &character) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const QStringView candidate = QStringView(text).mid(i, length);
        if (!encoder.canEncode(candidate)) {
            character = candidate.toString();
            return int(i + 1);
        }
        i += length - 1;
    }
    return 0;
}

// At most one refusal per field, the gravest first.
bool findRefusal(const FieldText &input, PieceEncoder &encoder, QList<ModelFinding> &findings) {
    const QString &text = input.text;
    if (const int at = firstPosition(text, isLineBreak)) {
        findings.append({ModelFinding::Kind::LineBreak, {input.field}, text, at});
    } else if (const int at = firstPosition(
                   text, [](QChar c) { return c.category() == QChar::Other_Control; })) {
        findings.append({ModelFinding::Kind::ControlCharacter, {input.field}, text, at});
    } else if (const int at = firstPosition(text, isSeparator)) {
        findings.append({ModelFinding::Kind::Separator, {input.field}, text, at});
    } else if (!encoder.canEncode(text)) {
        QString character;
        const int at = firstUnencodable(text, encoder, character);
        findings.append({ModelFinding::Kind::Unencodable, {input.field}, character, at});
    } else if (input.constant && text.isEmpty()) {
        findings.append({ModelFinding::Kind::EmptyConstantName, {input.field}, text});
    } else {
        return false;
    }
    return true;
}

bool isNameField(ModelField field) {
    return field != ModelField::DetectedSymbol && field != ModelField::NotDetectedSymbol
           && field != ModelField::CensoredSymbol;
}

// A stem or the final parameter's name that would not make names a reader can take apart.
void findNameForm(const FieldText &input, QList<ModelFinding> &findings) {
    if (!isNameField(input.field))
        return;
    if (input.text.isEmpty())
        findings.append({ModelFinding::Kind::EmptyName, {input.field}, input.text});
    else if (!isModelName(input.text))
        findings.append({ModelFinding::Kind::NotAName, {input.field}, input.text});
}

ModelField fieldOf(ModelText::DeclaredParameter::Kind kind) {
    switch (kind) {
    case ModelText::DeclaredParameter::Kind::Survival:
        return ModelField::SurvivalParameter;
    case ModelText::DeclaredParameter::Kind::Detection:
        return ModelField::DetectionParameter;
    case ModelText::DeclaredParameter::Kind::Censoring:
        return ModelField::CensoringParameter;
    case ModelText::DeclaredParameter::Kind::Final:
        break;
    }
    return ModelField::FinalParameter;
}

// Every parameter and variable name the file holds, with the field whose text makes it.
QList<FieldText> namesInFile(const ModelOptions &options) {
    QList<FieldText> names;
    for (const ModelText::DeclaredParameter &parameter : ModelText::declaredParameters(options))
        names.append({fieldOf(parameter.kind), parameter.name});
    for (int k = 0; k <= options.numPeriods - 1; ++k)
        names.append({ModelField::NoMoreDetections, ModelText::noMoreDetections(options, k)});
    return names;
}

using FieldPair = std::pair<ModelField, ModelField>;

FieldPair pairOf(ModelField a, ModelField b) {
    return {std::min(a, b), std::max(a, b)};
}

// One finding per pair of fields, with the first name they share. Names made from one text
// differ in their numbers (a constant name is declared once), so a clash always involves two
// fields; a name that three fields give makes three pairs, so every field that gave a name so
// far is kept. Returns the pairs.
QList<FieldPair> findNameClashes(const QList<FieldText> &names, QList<ModelFinding> &findings) {
    QHash<QString, QList<ModelField>> owners;
    QList<FieldPair> reported;
    for (const FieldText &name : names) {
        QList<ModelField> &fields = owners[name.text];
        for (const ModelField owner : std::as_const(fields)) {
            const FieldPair pair = pairOf(owner, name.field);
            if (owner == name.field || reported.contains(pair))
                continue;
            reported.append(pair);
            findings.append({ModelFinding::Kind::NameClash, {pair.first, pair.second}, name.text});
        }
        if (!fields.contains(name.field))
            fields.append(name.field);
    }
    return reported;
}

// One finding per pair of fields that give two different names with one confusable skeleton,
// unless the pair already shares a name. Each skeleton keeps at most one name per field, so
// every name is compared with a handful of others.
void findLookAlikeNames(const QList<FieldText> &names, const QList<FieldPair> &clashing,
                        QList<ModelFinding> &findings) {
    QHash<QString, QList<FieldText>> bySkeleton;
    QList<FieldPair> reported = clashing;
    for (const FieldText &name : names) {
        QList<FieldText> &alike = bySkeleton[confusableSkeleton(name.text)];
        bool fieldSeen = false;
        for (const FieldText &other : std::as_const(alike)) {
            fieldSeen = fieldSeen || other.field == name.field;
            const FieldPair pair = pairOf(other.field, name.field);
            if (other.field == name.field || other.text == name.text || reported.contains(pair))
                continue;
            reported.append(pair);
            const bool inOrder = other.field < name.field;
            findings.append({ModelFinding::Kind::LookAlikeNames,
                             {pair.first, pair.second},
                             inOrder ? other.text : name.text,
                             0,
                             inOrder ? name.text : other.text});
        }
        if (!fieldSeen)
            alike.append(name);
    }
}

bool containsSpace(const QString &text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

// Symbols whose text was refused are left out: their trouble has been told already.
void findAmbiguousSymbols(const ModelOptions &options, const QList<ModelField> &refused,
                          QList<ModelFinding> &findings) {
    QList<FieldText> symbols = {
        {ModelField::DetectedSymbol, options.detectedSymbol},
        {ModelField::NotDetectedSymbol, options.notDetectedSymbol},
    };
    if (options.censoring)
        symbols.append({ModelField::CensoredSymbol, options.censoredSymbol});
    symbols.removeIf([&](const FieldText &symbol) { return refused.contains(symbol.field); });

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
    return firstPosition(text, isLineBreak) > 0;
}

QList<ModelFinding> validateModel(const ModelOptions &options,
                                  QStringConverter::Encoding encoding) {
    QList<ModelFinding> refusals, questions;
    QList<ModelField> refused;
    PieceEncoder encoder(encoding);
    for (const FieldText &input : textsInFile(options)) {
        if (findRefusal(input, encoder, refusals))
            refused.append(input.field);
        else
            findNameForm(input, questions);
    }
    const QList<FieldText> names = namesInFile(options);
    findLookAlikeNames(names, findNameClashes(names, questions), questions);
    findAmbiguousSymbols(options, refused, questions);
    return refusals + questions;
}

QString describeFinding(const ModelFinding &finding,
                        const std::function<QString(ModelField)> &fieldName, int longestText) {
    const QString first = fieldName(finding.fields.value(0));
    const QString second = finding.fields.size() > 1 ? fieldName(finding.fields.at(1)) : QString();
    const QString shown = visibleText(shortenedInTheMiddle(finding.text, longestText));
    switch (finding.kind) {
    case ModelFinding::Kind::LineBreak:
        return tr("%1 \"%2\" contains a line break at character %3, which would break the "
                  "lines of the file. Remove it and try again.")
            .arg(first, shown)
            .arg(finding.position);
    case ModelFinding::Kind::ControlCharacter:
        return tr("%1 \"%2\" contains a control character (%3) at character %4, which has no "
                  "place in the file. Remove it and try again.")
            .arg(first, shown, visibleText(finding.text.mid(finding.position - 1, 1)))
            .arg(finding.position);
    case ModelFinding::Kind::Separator:
        return tr("%1 \"%2\" contains \"%3\" at character %4; the file separates its items "
                  "with \",\" and ends its lines with \";\". Remove it and try again.")
            .arg(first, shown, finding.text.mid(finding.position - 1, 1))
            .arg(finding.position);
    case ModelFinding::Kind::Unencodable:
        return tr("%1 contains \"%2\" at character %3, which the file's text encoding cannot "
                  "represent. Replace it and try again.")
            .arg(first, shown)
            .arg(finding.position);
    case ModelFinding::Kind::EmptyConstantName:
        return tr("%1 is empty, but it names one parameter for the whole model, which the file "
                  "cannot declare without a name. Enter a name and try again.")
            .arg(first);
    case ModelFinding::Kind::EmptyName:
        return finding.fields.value(0) == ModelField::FinalParameter
                   ? tr("%1 is empty, so the final parameter would have no name.").arg(first)
                   : tr("%1 is empty, so its names would be bare numbers (\"1\", \"2\", ...).")
                         .arg(first);
    case ModelFinding::Kind::NotAName:
        return tr("%1 \"%2\" does not read as a name in a product such as \"s0*p1\": a name "
                  "starts with a letter or \"_\" and goes on with letters, digits or \"_\".")
            .arg(first, shown);
    case ModelFinding::Kind::NameClash:
        return tr("%1 and %2 both give the name \"%3\", so two different quantities of the "
                  "model would read alike.")
            .arg(first, second, shown);
    case ModelFinding::Kind::LookAlikeNames: {
        char32_t inFirst = 0, inSecond = 0;
        firstDifference(finding.text, finding.otherText, inFirst, inSecond);
        return tr("%1 gives \"%2\" and %3 gives \"%4\", different names that read alike "
                  "(\"%5\" is %6, \"%7\" is %8), so two different quantities of the model would "
                  "look the same.")
            .arg(first, shown, second,
                 visibleText(shortenedInTheMiddle(finding.otherText, longestText)),
                 visibleText(QString::fromUcs4(&inFirst, 1)), describeCharacter(inFirst),
                 visibleText(QString::fromUcs4(&inSecond, 1)), describeCharacter(inSecond));
    }
    case ModelFinding::Kind::AmbiguousSymbols:
        if (!second.isEmpty()) {
            return tr("%1 and %2 are both \"%3\", so histories could not be told apart.")
                .arg(first, second, shown);
        }
        if (finding.text.isEmpty())
            return tr("%1 is empty, so histories could not be read back.").arg(first);
        return tr("%1 \"%2\" contains a space, which separates the symbols of a history.")
            .arg(first, shown);
    }
    return QString();
}
