// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitionwriter.h"
#include "modelnames.h"
#include "modeloptions.h"
#include "modelvalidation.h"
#include "sanitizers.h"

#include <QHash>
#include <QIODevice>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QTextStream>

#include <algorithm>

namespace {

// Keeps what the writer sends until the likelihood section has begun, then refuses more: the
// names all stand before it, and a file of 2^99 lines could never be written whole.
class HeadDevice : public QIODevice {
public:
    HeadDevice() { open(QIODevice::WriteOnly); }
    QByteArray head;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override {
        if (head.contains("\nlikelihood\n"))
            return -1;
        head.append(data, length);
        return length;
    }
};

QByteArray fileHead(const ModelOptions &options) {
    HeadDevice device;
    QTextStream out(&device);
    out.setEncoding(QStringConverter::Utf8);
    ModelDefinitionWriter::write(out, options, {});
    out.flush();
    return device.head;
}

struct FileName {
    QString name;
    ModelField field;
};

// The field that makes each item of the parameters section, in the order of the rules: S, P
// and with censoring C per occasion; then F, or S and P of the last interval and occasion when
// survival or detection is constant. A constant parameter is declared once.
QList<ModelField> declaredFields(const ModelOptions &o) {
    QList<ModelField> fields;
    QSet<ModelField> constantsDeclared;
    const auto declare = [&](ModelField field, bool constant) {
        if (constant && constantsDeclared.contains(field))
            return;
        if (constant)
            constantsDeclared.insert(field);
        fields.append(field);
    };
    const auto declareOccasion = [&](bool withCensoring) {
        declare(ModelField::SurvivalParameter, o.constantSurvival);
        declare(ModelField::DetectionParameter, o.constantDetection);
        if (withCensoring)
            declare(ModelField::CensoringParameter, o.constantCensoring);
    };
    for (int i = 1; i < o.numPeriods; ++i)
        declareOccasion(o.censoring);
    if (o.constantSurvival || o.constantDetection)
        declareOccasion(false);
    else
        fields.append(ModelField::FinalParameter);
    return fields;
}

// Every parameter and variable name as the file itself shows it: the items of the parameters
// section and the left-hand sides of the variables section. Only for names without commas,
// spaces and " = ".
QList<FileName> namesInText(const QByteArray &head, const ModelOptions &options) {
    const QStringList lines = QString::fromUtf8(head).split(u'\n');
    const qsizetype variablesAt = lines.indexOf(QStringLiteral("variables"));
    const qsizetype likelihoodAt = lines.indexOf(QStringLiteral("likelihood"));
    if (lines.value(0) != QStringLiteral("parameters") || variablesAt < 0 || likelihoodAt < 0)
        return {};

    QString parameters = lines.mid(1, variablesAt - 2).join(u' ');
    parameters.chop(1); // the final ";"
    const QStringList items = parameters.split(u',');
    const QList<ModelField> fields = declaredFields(options);
    if (items.size() != fields.size())
        return {};

    QList<FileName> names;
    for (qsizetype i = 0; i < items.size(); ++i)
        names.append({items.at(i).trimmed(), fields.at(i)});
    for (qsizetype i = variablesAt + 1; i < likelihoodAt - 1; ++i)
        names.append(
            {lines.at(i).section(QStringLiteral(" = 1 - "), 0, 0), ModelField::NoMoreDetections});
    return names;
}

using FieldPair = std::pair<int, int>;

FieldPair pairOf(ModelField a, ModelField b) {
    return std::minmax(int(a), int(b));
}

QString describe(const QList<FieldPair> &pairs) {
    QStringList parts;
    for (const FieldPair &pair : pairs)
        parts.append(QStringLiteral("%1+%2").arg(pair.first).arg(pair.second));
    return parts.join(u' ');
}

QString describe(const ModelOptions &o) {
    return QStringLiteral("N=%1 S0=%2 survival=\"%3\" detection=\"%4\" final=\"%5\" "
                          "noMore=\"%6\" censoringParameter=\"%7\" censoring=%8 constant=%9%10%11")
        .arg(o.numPeriods)
        .arg(o.initialSurvivalIndex)
        .arg(o.survivalParameter, o.detectionParameter, o.finalParameter, o.noMoreDetections,
             o.censoringParameter)
        .arg(o.censoring)
        .arg(o.constantSurvival ? "S" : "", o.constantDetection ? "P" : "",
             o.constantCensoring ? "C" : "");
}

// Stem pools that make clashes likely: empty and digit stems run into each other's numbers,
// "s" and "s1" into each other's subscripts.
const QStringList digitStems = {"", "1", "0", "11", "2", "10", "01", "9"};
const QStringList letterStems = {"s", "p", "X", "c", "lambda", "sp"};
const QStringList mixedStems = {"s", "p", "s1", "p1", "s11", "X0", "p12", "c2", "s0", "X", ""};
const QStringList tinyPool = {"s", "s1", ""};
// Stems that read alike across alphabets (Latin p, Cyrillic er, Greek rho, full-width p; Latin
// s and Cyrillic dze; Latin X and Greek chi; one, l and capital I) and that differ only in case.
const QStringList lookAlikeStems = {
    QStringLiteral("p"),      QStringLiteral("\u0440"), QStringLiteral("\u03c1"),
    QStringLiteral("\uff50"), QStringLiteral("p1"),     QStringLiteral("pl"),
    QStringLiteral("s"),      QStringLiteral("\u0455"), QStringLiteral("S"),
    QStringLiteral("X"),      QStringLiteral("\u03a7"), QStringLiteral("I")};

QString pick(QRandomGenerator &random, const QStringList &pool) {
    return pool.at(random.bounded(int(pool.size())));
}

ModelOptions randomModel(QRandomGenerator &random, const QStringList &pool, bool subscriptedFinal,
                         bool censoring, bool reduced) {
    ModelOptions o;
    if (reduced) {
        o.constantSurvival = random.bounded(2) == 1;
        o.constantDetection = random.bounded(2) == 1;
        o.constantCensoring = random.bounded(2) == 1;
    }
    o.numPeriods = random.bounded(2, 100);
    o.initialSurvivalIndex = random.bounded(0, 100);
    o.censoring = censoring;
    o.survivalParameter = pick(random, pool);
    o.detectionParameter = pick(random, pool);
    o.noMoreDetections = pick(random, pool);
    o.censoringParameter = pick(random, pool);
    o.finalParameter = subscriptedFinal
                           ? pick(random, pool) + QString::number(random.bounded(0, 200))
                           : pick(random, pool);
    return o;
}

// The validation's findings in a form that reads well in a failure message.
QStringList findingsOf(const ModelOptions &options, QStringConverter::Encoding encoding) {
    static const QHash<ModelField, QString> fieldNames = {
        {ModelField::SurvivalParameter, "survival"},
        {ModelField::DetectionParameter, "detection"},
        {ModelField::FinalParameter, "final"},
        {ModelField::NoMoreDetections, "noMore"},
        {ModelField::DetectedSymbol, "detected"},
        {ModelField::NotDetectedSymbol, "notDetected"},
        {ModelField::CensoringParameter, "censoringParameter"},
        {ModelField::CensoredSymbol, "censored"},
    };
    static const QHash<ModelFinding::Kind, QString> kindNames = {
        {ModelFinding::Kind::LineBreak, "linebreak"},
        {ModelFinding::Kind::ControlCharacter, "control"},
        {ModelFinding::Kind::Separator, "separator"},
        {ModelFinding::Kind::Unencodable, "unencodable"},
        {ModelFinding::Kind::EmptyConstantName, "emptyconstant"},
        {ModelFinding::Kind::EmptyName, "empty"},
        {ModelFinding::Kind::NotAName, "notname"},
        {ModelFinding::Kind::NameClash, "clash"},
        {ModelFinding::Kind::LookAlikeNames, "lookalike"},
        {ModelFinding::Kind::AmbiguousSymbols, "ambiguous"},
    };
    QStringList result;
    for (const ModelFinding &finding : validateModel(options, encoding)) {
        // Two fields come in the form's order, whichever made the name first.
        QStringList words = {kindNames.value(finding.kind)};
        for (ModelField field : finding.fields)
            words.append(fieldNames.value(field));
        words.append(finding.text);
        if (!finding.otherText.isEmpty())
            words.append(finding.otherText);
        if (finding.position > 0)
            words.append(QStringLiteral("@%1").arg(finding.position));
        result.append(words.join(u' '));
    }
    result.sort();
    return result;
}

// "N=3|S0=10|survival=s|detection=s1|censoring": the model form's defaults but for the keys.
ModelOptions modelFrom(const QString &description) {
    ModelOptions o;
    for (const QString &setting : description.split(u'|', Qt::SkipEmptyParts)) {
        const QString key = setting.section(u'=', 0, 0);
        const QString value = setting.section(u'=', 1);
        if (key == "N")
            o.numPeriods = value.toInt();
        else if (key == "S0")
            o.initialSurvivalIndex = value.toInt();
        else if (key == "survival")
            o.survivalParameter = value;
        else if (key == "detection")
            o.detectionParameter = value;
        else if (key == "final")
            o.finalParameter = value;
        else if (key == "noMore")
            o.noMoreDetections = value;
        else if (key == "censoringParameter")
            o.censoringParameter = value;
        else if (key == "detected")
            o.detectedSymbol = value;
        else if (key == "notDetected")
            o.notDetectedSymbol = value;
        else if (key == "censored")
            o.censoredSymbol = value;
        else if (key == "censoring")
            o.censoring = true;
        else if (key == "constantSurvival")
            o.constantSurvival = true;
        else if (key == "constantDetection")
            o.constantDetection = true;
        else if (key == "constantCensoring")
            o.constantCensoring = true;
        else
            qFatal("unknown key in model description: %s", qPrintable(key));
    }
    return o;
}

} // namespace

class TestValidationAgainstFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void clashesMatchTheFile_data();
    void clashesMatchTheFile();
    void namedCases_data();
    void namedCases();
};

void TestValidationAgainstFile::clashesMatchTheFile_data() {
    QTest::addColumn<QStringList>("pool");
    QTest::addColumn<bool>("subscriptedFinal");
    QTest::addColumn<bool>("censoring");
    QTest::addColumn<bool>("reduced");
    QTest::addColumn<quint32>("seed");

    const struct {
        const char *name;
        QStringList pool;
        bool subscriptedFinal;
    } families[] = {
        {"digit_and_empty_stems", digitStems, false},
        {"letter_stems", letterStems, false},
        {"letters_with_digits", mixedStems, false},
        {"few_equal_stems", tinyPool, false},
        {"final_subscripted", mixedStems, true},
        {"final_subscripted_digits", digitStems, true},
        {"look_alike_stems", lookAlikeStems, false},
        {"look_alike_final_subscripted", lookAlikeStems, true},
    };
    quint32 seed = 20240611;
    for (const auto &family : families) {
        for (const bool censoring : {false, true}) {
            for (const bool reduced : {false, true}) {
                const QByteArray row = QByteArray(family.name) + (censoring ? "_censoring" : "")
                                       + (reduced ? "_reduced" : "");
                QTest::newRow(row.constData())
                    << family.pool << family.subscriptedFinal << censoring << reduced << seed++;
            }
        }
    }
}

// For random stems, N, S0 and reduced models, the clashes the validation finds are exactly the
// pairs of fields that share a name in the text the writer writes, and the look-alikes exactly
// the other pairs that write two different names of one confusable skeleton, found here by
// comparing every name with every other: no miss and no false alarm.
void TestValidationAgainstFile::clashesMatchTheFile() {
    QFETCH(QStringList, pool);
    QFETCH(bool, subscriptedFinal);
    QFETCH(bool, censoring);
    QFETCH(bool, reduced);
    QFETCH(quint32, seed);

    constexpr int Cases = UnderThreadSanitizer ? 16 : 80; // each starts the writer's thread
    QRandomGenerator random(seed);
    int clashingCases = 0;
    for (int c = 0; c < Cases; ++c) {
        const ModelOptions options =
            randomModel(random, pool, subscriptedFinal, censoring, reduced);
        const QList<FileName> names = namesInText(fileHead(options), options);
        const qsizetype expectedNames = declaredFields(options).size() + options.numPeriods;
        QVERIFY2(names.size() == expectedNames, qPrintable(describe(options)));

        QHash<QString, QSet<ModelField>> owners;
        for (const FileName &name : names)
            owners[name.name].insert(name.field);
        QSet<FieldPair> shared;
        for (const QSet<ModelField> &fields : std::as_const(owners)) {
            for (ModelField a : fields) {
                for (ModelField b : fields) {
                    if (a != b)
                        shared.insert(pairOf(a, b));
                }
            }
        }

        QStringList skeletons;
        for (const FileName &name : names)
            skeletons.append(confusableSkeleton(name.name));
        QSet<FieldPair> lookAlike;
        for (qsizetype i = 0; i < names.size(); ++i) {
            for (qsizetype j = i + 1; j < names.size(); ++j) {
                const FieldPair pair = pairOf(names.at(i).field, names.at(j).field);
                if (names.at(i).field != names.at(j).field && !shared.contains(pair)
                    && names.at(i).name != names.at(j).name && skeletons.at(i) == skeletons.at(j))
                    lookAlike.insert(pair);
            }
        }

        QList<FieldPair> found, foundAlike;
        for (const ModelFinding &finding : validateModel(options, QStringConverter::Utf8)) {
            if (finding.kind == ModelFinding::Kind::LookAlikeNames) {
                QVERIFY2(finding.fields.size() == 2 && finding.text != finding.otherText
                             && owners.value(finding.text).contains(finding.fields.at(0))
                             && owners.value(finding.otherText).contains(finding.fields.at(1))
                             && confusableSkeleton(finding.text)
                                    == confusableSkeleton(finding.otherText),
                         qPrintable(QStringLiteral("\"%1\" and \"%2\"; %3")
                                        .arg(finding.text, finding.otherText, describe(options))));
                foundAlike.append(pairOf(finding.fields.at(0), finding.fields.at(1)));
            }
            if (finding.kind != ModelFinding::Kind::NameClash)
                continue;
            QVERIFY2(finding.fields.size() == 2, qPrintable(describe(options)));
            const FieldPair pair = pairOf(finding.fields.at(0), finding.fields.at(1));
            const QSet<ModelField> &holders = owners.value(finding.text);
            QVERIFY2(holders.contains(finding.fields.at(0))
                         && holders.contains(finding.fields.at(1)),
                     qPrintable(QStringLiteral("\"%1\" is not shared by the fields named; %2")
                                    .arg(finding.text, describe(options))));
            found.append(pair);
        }
        std::sort(found.begin(), found.end());
        QList<FieldPair> expected(shared.cbegin(), shared.cend());
        std::sort(expected.begin(), expected.end());
        QVERIFY2(found == expected,
                 qPrintable(QStringLiteral("found %1, the file has %2; %3")
                                .arg(describe(found), describe(expected), describe(options))));
        std::sort(foundAlike.begin(), foundAlike.end());
        QList<FieldPair> expectedAlike(lookAlike.cbegin(), lookAlike.cend());
        std::sort(expectedAlike.begin(), expectedAlike.end());
        QVERIFY2(
            foundAlike == expectedAlike,
            qPrintable(QStringLiteral("found look-alikes %1, the file has %2; %3")
                           .arg(describe(foundAlike), describe(expectedAlike), describe(options))));
        clashingCases += expected.isEmpty() && expectedAlike.isEmpty() ? 0 : 1;
    }
    // The pools are there to make clashes: a family that never clashes tests nothing. The few
    // cases under ThreadSanitizer, a sample of the same seeds, need only show one.
    constexpr int FewestClashing = UnderThreadSanitizer ? 1 : Cases / 10 + 1;
    QVERIFY2(clashingCases >= FewestClashing, qPrintable(QString::number(clashingCases)));
}

void TestValidationAgainstFile::namedCases_data() {
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QStringList>("expected");
    const int utf8 = QStringConverter::Utf8;
    const int latin1 = QStringConverter::Latin1;

    QTest::newRow("defaults") << "" << utf8 << QStringList();
    QTest::newRow("defaults_N99_S0_99_censoring")
        << "N=99|S0=99|censoring" << utf8 << QStringList();

    // "s" from S0 = 10 reaches s11, which the detection stem "s1" makes at occasion 1.
    QTest::newRow("survival_s_S0_10_detection_s1")
        << "N=3|S0=10|detection=s1" << utf8 << QStringList{"clash survival detection s11"};
    QTest::newRow("survival_s_S0_10_N2_stops_at_s10")
        << "N=2|S0=10|detection=s1" << utf8 << QStringList();
    // "s1" from S0 = 1 gives s11, which detection "s" reaches only at occasion 11 (N = 12).
    QTest::newRow("survival_s1_S0_1_detection_s_N12")
        << "N=12|S0=1|survival=s1|detection=s" << utf8
        << QStringList{"clash survival detection s11"};
    QTest::newRow("survival_s1_S0_1_detection_s_N11")
        << "N=11|S0=1|survival=s1|detection=s" << utf8 << QStringList();
    QTest::newRow("survival_s1_S0_1_variables_s_N12")
        << "N=12|S0=1|survival=s1|noMore=s" << utf8 << QStringList{"clash survival noMore s11"};

    QTest::newRow("equal_survival_detection_N2_no_common_subscript")
        << "N=2|detection=s" << utf8 << QStringList();
    QTest::newRow("equal_survival_detection_N3")
        << "N=3|detection=s" << utf8 << QStringList{"clash survival detection s1"};
    QTest::newRow("equal_survival_detection_S0_1")
        << "N=2|S0=1|detection=s" << utf8 << QStringList{"clash survival detection s1"};
    QTest::newRow("empty_survival_and_detection")
        << "N=3|survival=|detection=" << utf8
        << QStringList{"clash survival detection 1", "empty survival ", "empty detection "};

    QTest::newRow("variable_stem_equal_detection_stem")
        << "noMore=p" << utf8 << QStringList{"clash detection noMore p1"};
    QTest::newRow("variable_stem_equal_survival_stem")
        << "noMore=s" << utf8 << QStringList{"clash survival noMore s0"};
    QTest::newRow("variable_stem_equal_survival_stem_S0_beyond_N")
        << "N=5|S0=5|noMore=s" << utf8 << QStringList();

    QTest::newRow("final_equal_p1")
        << "final=p1" << utf8 << QStringList{"clash detection final p1"};
    QTest::newRow("final_equal_last_survival")
        << "N=4|S0=7|final=s9" << utf8 << QStringList{"clash survival final s9"};
    QTest::newRow("final_one_past_last_survival") << "N=4|S0=7|final=s10" << utf8 << QStringList();
    QTest::newRow("final_equal_X0") << "final=X0" << utf8 << QStringList{"clash final noMore X0"};

    QTest::newRow("censoring_stem_equal_detection_stem")
        << "censoring|censoringParameter=p" << utf8
        << QStringList{"clash detection censoringParameter p1"};
    QTest::newRow("censoring_stem_unused_without_censoring")
        << "censoringParameter=p" << utf8 << QStringList();
    QTest::newRow("three_stems_alike")
        << "N=3|S0=1|detection=s|noMore=s" << utf8
        << QStringList{"clash detection noMore s1", "clash survival detection s1",
                       "clash survival noMore s1"};

    // Names that differ but read alike: asked, as clashes are; one finding per pair of
    // fields, which an exact clash of the same pair replaces.
    QTest::newRow("cyrillic_er_survival")
        << QStringLiteral("N=3|survival=\u0440") << utf8
        << QStringList{QStringLiteral("lookalike survival detection \u04401 p1")};
    QTest::newRow("greek_rho_survival")
        << QStringLiteral("N=3|survival=\u03c1") << utf8
        << QStringList{QStringLiteral("lookalike survival detection \u03c11 p1")};
    QTest::newRow("full_width_p_survival")
        << QStringLiteral("N=3|survival=\uff50") << utf8
        << QStringList{QStringLiteral("lookalike survival detection \uff501 p1")};
    QTest::newRow("greek_chi_variables")
        << QStringLiteral("survival=X|noMore=\u03a7") << utf8
        << QStringList{QStringLiteral("lookalike survival noMore X0 \u03a70")};
    QTest::newRow("cyrillic_final_after_latin_detection")
        << QStringLiteral("final=\u04401") << utf8
        << QStringList{QStringLiteral("lookalike detection final p1 \u04401")};
    QTest::newRow("cyrillic_dze_censoring")
        << QStringLiteral("N=3|censoring|censoringParameter=\u0455") << utf8
        << QStringList{QStringLiteral("lookalike survival censoringParameter s1 \u04551")};
    QTest::newRow("precomposed_and_combining_accent")
        << QStringLiteral("N=3|survival=\u00e9|detection=e\u0301") << utf8
        << QStringList{QStringLiteral("lookalike survival detection \u00e91 e\u03011")};
    QTest::newRow("three_alphabets")
        << QStringLiteral("N=3|survival=\u0440|noMore=\u03c1") << utf8
        << QStringList{QStringLiteral("lookalike survival detection \u04401 p1"),
                       QStringLiteral("lookalike survival noMore \u04400 \u03c10"),
                       QStringLiteral("lookalike detection noMore p1 \u03c11")};
    QTest::newRow("clash_replaces_look_alike_of_same_pair")
        << QStringLiteral("N=3|survival=\u0440|final=\u04401") << utf8
        << QStringList{QStringLiteral("clash survival final \u04401"),
                       QStringLiteral("lookalike survival detection \u04401 p1"),
                       QStringLiteral("lookalike detection final p1 \u04401")};
    // TR39 reads the digit one as the letter l.
    QTest::newRow("digit_one_and_letter_l")
        << "N=3|final=pl" << utf8 << QStringList{"lookalike detection final p1 pl"};
    // Only similar: small and capital letters differ to every reader.
    QTest::newRow("small_and_capital_s") << "N=4|detection=S" << utf8 << QStringList();
    QTest::newRow("latin_letters_alone") << "N=99|S0=99|censoring" << utf8 << QStringList();
    QTest::newRow("look_alike_stem_unused_without_censoring")
        << QStringLiteral("censoringParameter=\u0440") << utf8 << QStringList();

    QTest::newRow("symbols_equal")
        << "detected=1|notDetected=1" << utf8 << QStringList{"ambiguous detected notDetected 1"};
    QTest::newRow("detected_symbol_empty")
        << "detected=" << utf8 << QStringList{"ambiguous detected "};
    QTest::newRow("both_symbols_empty")
        << "detected=|notDetected=" << utf8
        << QStringList{"ambiguous detected ", "ambiguous notDetected "};
    QTest::newRow("censored_symbol_equal_detected")
        << "censoring|censored=1" << utf8 << QStringList{"ambiguous detected censored 1"};
    QTest::newRow("censored_symbol_empty")
        << "censoring|censored=" << utf8 << QStringList{"ambiguous censored "};
    QTest::newRow("censored_symbol_unused_without_censoring")
        << "censored=1" << utf8 << QStringList();
    QTest::newRow("symbol_with_space")
        << "notDetected=a b" << utf8 << QStringList{"ambiguous notDetected a b"};
    QTest::newRow("multi_character_symbols_differ")
        << "detected=yes|notDetected=no|censoring|censored=cut" << utf8 << QStringList();

    QTest::newRow("line_feed") << "survival=s\n"
                               << utf8 << QStringList{"linebreak survival s\n @2"};
    QTest::newRow("carriage_return")
        << "final=la\rmbda" << utf8 << QStringList{"linebreak final la\rmbda @3"};
    QTest::newRow("line_separator") << QStringLiteral("noMore=X\u2028") << utf8
                                    << QStringList{QStringLiteral("linebreak noMore X\u2028 @2")};
    // A refused text is not also called ambiguous.
    QTest::newRow("next_line_in_symbol")
        << QStringLiteral("detected=\u0085") << utf8
        << QStringList{QStringLiteral("linebreak detected \u0085 @1")};
    QTest::newRow("form_feed_in_censored_symbol")
        << "censoring|censored=\f" << utf8 << QStringList{"linebreak censored \f @1"};
    QTest::newRow("line_break_in_unused_censoring_stem") << "censoringParameter=c\n"
                                                         << utf8 << QStringList();
    QTest::newRow("line_break_and_clash")
        << "final=p1|survival=\ns" << utf8
        << QStringList{"clash detection final p1", "linebreak survival \ns @1"};

    // Texts that would break the file's syntax: refused, and never asked about as well.
    QTest::newRow("tab_in_name") << "survival=s\t1" << utf8
                                 << QStringList{"control survival s\t1 @2"};
    QTest::newRow("tab_in_symbol_is_no_space")
        << "notDetected=\t" << utf8 << QStringList{"control notDetected \t @1"};
    QTest::newRow("escape_character")
        << QStringLiteral("detection=p\u001b") << utf8
        << QStringList{QStringLiteral("control detection p\u001b @2")};
    QTest::newRow("comma_in_survival")
        << "survival=a,b" << utf8 << QStringList{"separator survival a,b @2"};
    QTest::newRow("semicolon_ends_final")
        << "final=x;" << utf8 << QStringList{"separator final x; @2"};
    QTest::newRow("comma_as_symbol")
        << "detected=," << utf8 << QStringList{"separator detected , @1"};
    QTest::newRow("semicolon_as_censored_symbol")
        << "censoring|censored=;" << utf8 << QStringList{"separator censored ; @1"};
    QTest::newRow("separator_in_unused_censoring_stem")
        << "censoringParameter=a,b" << utf8 << QStringList();

    // Names that would not read as names: asked.
    QTest::newRow("empty_detection") << "detection=" << utf8 << QStringList{"empty detection "};
    QTest::newRow("empty_final") << "final=" << utf8 << QStringList{"empty final "};
    QTest::newRow("empty_variables") << "noMore=" << utf8 << QStringList{"empty noMore "};
    QTest::newRow("hyphen") << "survival=s-adult" << utf8
                            << QStringList{"notname survival s-adult"};
    QTest::newRow("space") << "survival=s 1" << utf8 << QStringList{"notname survival s 1"};
    QTest::newRow("digit_first") << "final=2" << utf8 << QStringList{"notname final 2"};
    QTest::newRow("operator") << "detection=p*" << utf8 << QStringList{"notname detection p*"};
    QTest::newRow("censoring_name_counts_with_censoring")
        << "censoring|censoringParameter=c-1" << utf8
        << QStringList{"notname censoringParameter c-1"};
    QTest::newRow("censoring_name_unused_without_censoring")
        << "censoringParameter=c-1" << utf8 << QStringList();
    QTest::newRow("unicode_letters_and_underscore")
        << QStringLiteral("survival=\u03c6_|detection=_p|final=\u03bb2|noMore=e\u0301") << utf8
        << QStringList();
    QTest::newRow("symbols_need_not_be_names")
        << "detected=+|notDetected=.|censoring|censored=2a" << utf8 << QStringList();

    QTest::newRow("latin1_l_with_stroke")
        << QStringLiteral("detection=\u0142") << latin1
        << QStringList{QStringLiteral("unencodable detection \u0142 @1")};
    QTest::newRow("latin1_e_acute_fits")
        << QStringLiteral("detection=\u00e9") << latin1 << QStringList();
    QTest::newRow("utf8_l_with_stroke_fits")
        << QStringLiteral("detection=\u0142") << utf8 << QStringList();
    QTest::newRow("latin1_surrogate_pair_named_whole")
        << QStringLiteral("final=a\U0001F600") << latin1
        << QStringList{QStringLiteral("unencodable final \U0001F600 @2")};
    QTest::newRow("utf8_surrogate_pair_fits")
        << QStringLiteral("final=\U0001D465") << utf8 << QStringList();
    QTest::newRow("utf8_emoji_is_no_name")
        << QStringLiteral("final=\U0001F600") << utf8
        << QStringList{QStringLiteral("notname final \U0001F600")};
    QTest::newRow("utf8_lone_high_surrogate_inside")
        << QString(QStringLiteral("survival=s") + QChar(0xD800) + u'x') << utf8
        << QStringList{QString(QStringLiteral("unencodable survival ") + QChar(0xD800) + " @2")};
    QTest::newRow("utf8_lone_high_surrogate_at_end")
        << QString(QStringLiteral("survival=s") + QChar(0xD83D)) << utf8
        << QStringList{QString(QStringLiteral("unencodable survival ") + QChar(0xD83D) + " @2")};
    QTest::newRow("utf8_lone_low_surrogate_at_end")
        << QString(QStringLiteral("detected=1") + QChar(0xDC00)) << utf8
        << QStringList{QString(QStringLiteral("unencodable detected ") + QChar(0xDC00) + " @2")};
    QTest::newRow("utf8_pair_reversed")
        << QString(QStringLiteral("noMore=") + QChar(0xDE00) + QChar(0xD83D)) << utf8
        << QStringList{QString(QStringLiteral("unencodable noMore ") + QChar(0xDE00) + " @1")};
    QTest::newRow("latin1_unencodable_in_unused_censored_symbol")
        << QStringLiteral("censored=\u0142") << latin1 << QStringList();

    // Reduced models: judged on the names the file holds.
    QTest::newRow("constant_survival_and_detection_alike")
        << "N=3|constantSurvival|constantDetection|survival=p" << utf8
        << QStringList{"clash survival detection p"};
    QTest::newRow("constant_detection_p_survival_stem_p")
        << "N=3|constantDetection|survival=p" << utf8 << QStringList(); // p0, p1, p2 and p
    QTest::newRow("constant_detection_equal_a_survival_name")
        << "N=3|constantDetection|detection=s1" << utf8
        << QStringList{"clash survival detection s1"};
    QTest::newRow("constant_detection_equal_the_added_last_survival")
        << "N=4|S0=7|constantDetection|detection=s10" << utf8
        << QStringList{"clash survival detection s10"};
    QTest::newRow("constant_survival_equal_the_added_last_detection")
        << "N=4|constantSurvival|survival=p4" << utf8 << QStringList{"clash survival detection p4"};
    QTest::newRow("constant_survival_equal_a_variable")
        << "constantSurvival|survival=X1" << utf8 << QStringList{"clash survival noMore X1"};
    QTest::newRow("constant_censoring_equal_constant_detection")
        << "censoring|constantCensoring|constantDetection|censoringParameter=p" << utf8
        << QStringList{"clash detection censoringParameter p"};
    QTest::newRow("constant_censoring_unused_without_censoring")
        << "constantCensoring|censoringParameter=p1" << utf8 << QStringList();
    QTest::newRow("final_not_written_no_clash")
        << "constantSurvival|final=p1" << utf8 << QStringList();
    QTest::newRow("final_not_written_not_checked")
        << "constantDetection|final=a;b\nc" << utf8 << QStringList();
    QTest::newRow("final_not_written_may_be_empty")
        << "constantSurvival|constantDetection|final=" << utf8 << QStringList();
    QTest::newRow("constant_survival_empty")
        << "constantSurvival|survival=" << utf8 << QStringList{"emptyconstant survival "};
    QTest::newRow("constant_detection_empty")
        << "constantDetection|detection=" << utf8 << QStringList{"emptyconstant detection "};
    QTest::newRow("constant_censoring_empty")
        << "censoring|constantCensoring|censoringParameter=" << utf8
        << QStringList{"emptyconstant censoringParameter "};
    QTest::newRow("constant_censoring_empty_unused_without_censoring")
        << "constantCensoring|censoringParameter=" << utf8 << QStringList();
    QTest::newRow("empty_stem_beside_a_constant_one_is_asked")
        << "constantDetection|survival=" << utf8 << QStringList{"empty survival "};
    QTest::newRow("constant_name_with_line_break_refused_once")
        << "constantSurvival|survival=\n"
        << utf8 << QStringList{"linebreak survival \n @1"};
    QTest::newRow("constant_name_not_a_name")
        << "constantSurvival|survival=s-adult" << utf8 << QStringList{"notname survival s-adult"};
}

// The named cases: what clashes and what does not, at the boundaries of N and S0, ambiguous
// symbols, and the refusals (line breaks, characters the file's encoding lacks).
void TestValidationAgainstFile::namedCases() {
    QFETCH(QString, description);
    QFETCH(int, encoding);
    QFETCH(QStringList, expected);

    expected.sort();
    QCOMPARE(findingsOf(modelFrom(description), QStringConverter::Encoding(encoding)), expected);
}

QTEST_GUILESS_MAIN(TestValidationAgainstFile)
#include "tst_validationagainstfile.moc"
