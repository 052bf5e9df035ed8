// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "modeldefinitioncheck.h"
#include "modelnames.h"
#include "modeltext.h"
#include "modelvalidation.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("CommandLine", text);
}

struct Options {
    QCommandLineOption periods{{"n", "periods"},
                               tr("Number of periods (capture occasions after the release), "
                                  "2 to 99. Default: 2."),
                               "N",
                               "2"};
    QCommandLineOption survival{"survival", tr("Stem of the survival parameters. Default: s."),
                                "NAME", "s"};
    QCommandLineOption detection{"detection", tr("Stem of the detection parameters. Default: p."),
                                 "NAME", "p"};
    QCommandLineOption final{"final",
                             tr("Name of the final parameter (last survival times last "
                                "detection). Default: lambda."),
                             "NAME", "lambda"};
    QCommandLineOption noMoreDetections{
        "no-more-detections",
        tr("Stem of the variables for the probability of no detection after an occasion. "
           "Default: X."),
        "NAME", "X"};
    QCommandLineOption initialSurvivalIndex{
        "initial-survival-index",
        tr("Subscript of the first survival parameter, 0 to 99. Default: 0."), "S0", "0"};
    QCommandLineOption detectedSymbol{
        "detected-symbol", tr("History symbol for a detection. Default: 1."), "SYM", "1"};
    QCommandLineOption notDetectedSymbol{
        "not-detected-symbol", tr("History symbol for no detection. Default: 0."), "SYM", "0"};
    QCommandLineOption censoring{"censoring",
                                 tr("Include censoring (removal from the study at a detection).")};
    QCommandLineOption censoringParameter{
        "censoring-parameter", tr("Stem of the censoring parameters. Default: c."), "NAME", "c"};
    QCommandLineOption censoredSymbol{
        "censored-symbol", tr("History symbol for a detection followed by censoring. Default: 2."),
        "SYM", "2"};
    QCommandLineOption initialRelease{
        "initial-release", tr("Begin every history with the release, written as a detection.")};
    QCommandLineOption constantSurvival{
        "constant-survival",
        tr("One survival parameter for every interval, phi(.): the survival name alone, with no "
           "number (--initial-survival-index has no effect). The last survival and the last "
           "detection are then written as their product instead of the final parameter.")};
    QCommandLineOption constantDetection{
        "constant-detection",
        tr("One detection parameter for every occasion, p(.): the detection name alone, with no "
           "number. The last survival and the last detection are then written as their "
           "product instead of the final parameter.")};
    QCommandLineOption constantCensoring{
        "constant-censoring",
        tr("With --censoring: one censoring parameter for every occasion, the censoring name "
           "alone, with no number.")};
    QCommandLineOption output{
        {"o", "output"},
        tr("Write the file to FILE. A regular file is replaced atomically, only when the new one "
           "is complete, keeping the earlier file's permissions (and its owner and group where "
           "allowed). A device, a FIFO or /dev/stdout is written straight through; \"-\" is "
           "standard output. Default: standard output."),
        "FILE"};
    QCommandLineOption stats{"stats",
                             tr("Print the number of histories and the exact file size; write "
                                "nothing.")};
    QCommandLineOption check{
        "check",
        tr("Check FILE (\"-\": standard input), a model definition file written by this "
           "program or edited by hand: its syntax, its names, its histories (the complete set, "
           "each once) and the laws of probability, for parameters drawn at random and in a "
           "balanced draw. With model options as well, also compare it with the file they "
           "make. Writes nothing."),
        "FILE"};
    QCommandLineOption seed{"seed",
                            tr("With --check: the seed of the first random draw, 0 to "
                               "4294967295. Default: %1.")
                                .arg(ModelCheckSettings::DefaultSeed),
                            "N", QString::number(ModelCheckSettings::DefaultSeed)};
    QCommandLineOption progress{"progress",
                                tr("Show a progress bar on standard error. Default: only when "
                                   "standard error is a terminal, the file does not go to a "
                                   "terminal, and the file is large.")};
    QCommandLineOption noProgress{"no-progress", tr("Never show a progress bar.")};
    QCommandLineOption allowNameClashes{
        "allow-name-clashes",
        tr("Write even when two names of the file read alike, a name is empty or does not read "
           "as a name (such as \"s-adult\"), or the history symbols are ambiguous (a warning is "
           "printed instead).")};
    QCommandLineOption help{{"h", "help"}, tr("Show this help and exit.")};
    QCommandLineOption version{{"v", "version"}, tr("Show the version and exit.")};

    // The options that describe a model, which --check compares with when any is given.
    QList<QCommandLineOption> model() const {
        return {periods,          survival,
                detection,        final,
                noMoreDetections, initialSurvivalIndex,
                detectedSymbol,   notDetectedSymbol,
                censoring,        censoringParameter,
                censoredSymbol,   initialRelease,
                constantSurvival, constantDetection,
                constantCensoring};
    }

    QList<QCommandLineOption> all() const {
        return {periods,
                survival,
                detection,
                final,
                noMoreDetections,
                initialSurvivalIndex,
                detectedSymbol,
                notDetectedSymbol,
                censoring,
                censoringParameter,
                censoredSymbol,
                initialRelease,
                constantSurvival,
                constantDetection,
                constantCensoring,
                output,
                stats,
                check,
                seed,
                progress,
                noProgress,
                allowNameClashes,
                help,
                version};
    }
};

QString programName() {
    return QStringLiteral("tarskcjs-cli");
}

// On Linux and macOS Qt's system encoding is UTF-8 whatever the locale says.
QString systemEncodingName() {
#ifdef Q_OS_WIN
    return QString();
#else
    return QStringLiteral(" (UTF-8)");
#endif
}

QString usageError(const QString &message) {
    return tr("%1: %2 (see %1 --help)").arg(programName(), message);
}

// How the option was typed the last time it was given ("-n" or "--periods"), for messages.
QString typedName(const QCommandLineOption &option, const QStringList &arguments) {
    for (auto argument = arguments.crbegin(); argument != arguments.crend(); ++argument) {
        for (const QString &name : option.names()) {
            const QString dashed =
                (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            if (*argument == dashed || argument->startsWith(dashed + u'=')
                || (name.size() == 1 && argument->startsWith(dashed)
                    && !argument->startsWith(u"--")))
                return dashed;
        }
    }
    return QStringLiteral("--") + option.names().constLast();
}

// A whole number within [minimum, maximum], written as digits with an optional sign and
// nothing around them; otherwise an error naming the option as it was typed.
bool parseNumber(const QCommandLineParser &parser, const QCommandLineOption &option,
                 const QStringList &arguments, int minimum, int maximum, int &value,
                 QString &error) {
    const QString text = parser.value(option);
    const QString name = typedName(option, arguments);
    static const QRegularExpression wholeNumber(
        QRegularExpression::anchoredPattern(QStringLiteral("[+-]?[0-9]+")));
    if (!wholeNumber.match(text).hasMatch()) {
        error = usageError(tr("%1 needs a whole number, not \"%2\"").arg(name, visibleText(text)));
        return false;
    }
    bool fits = false;
    const qlonglong number = text.toLongLong(&fits); // digits too many for 64 bits: out of range
    if (!fits || number < minimum || number > maximum) {
        error = usageError(
            tr("%1 must be from %2 to %3, not %4").arg(name).arg(minimum).arg(maximum).arg(text));
        return false;
    }
    value = int(number);
    return true;
}

// An option as it was typed, for messages: "--bogus", "-x", or "--bogus=1" without its value.
QString asTyped(const QString &name, const QStringList &arguments) {
    for (const QString &argument : arguments) {
        for (const QString &dashes : {QStringLiteral("--"), QStringLiteral("-")}) {
            if (argument == dashes + name || argument.startsWith(dashes + name + u'='))
                return dashes + name;
        }
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// The parser's own error in the companion's words.
QString parseError(const QCommandLineParser &parser, const QStringList &arguments) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        QStringList typed;
        for (const QString &name : unknown)
            typed.append(u'"' + visibleText(asTyped(name, arguments)) + u'"');
        return unknown.size() == 1 ? tr("unknown option %1").arg(typed.constFirst())
                                   : tr("unknown options %1").arg(typed.join(QStringLiteral(", ")));
    }
    static const QRegularExpression missingValue(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpectedValue(
        QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    const QString error = parser.errorText();
    if (const auto match = missingValue.match(error); match.hasMatch())
        return tr("option \"%1\" needs a value").arg(match.captured(1));
    if (const auto match = unexpectedValue.match(error); match.hasMatch())
        return tr("option \"%1\" takes no value").arg(match.captured(1));
    QString text = error;
    if (text.endsWith(u'.'))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

QString helpText(const QCommandLineParser &parser) {
    // The parser names the program by its full path; the short name reads better.
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd, tr("Usage: %1 [options]").arg(programName()));
    text += tr("\nExit status:\n"
               "  0    the file was written (or --stats, --help, --version answered), or\n"
               "       --check found the file sound (warnings allowed)\n"
               "  1    the file could not be written (or with --check, read): no room on the\n"
               "       volume, no permission, a missing directory, a full disk, a target that\n"
               "       is a directory, a socket or a loop of links, a target replaced while\n"
               "       the file was written, an earlier file whose access cannot be kept, a\n"
               "       closed standard output, or lost output of --stats, --help or\n"
               "       --version; a file given with --output is left as it was\n"
               "  2    usage error: an unknown option, a number out of range, an argument that\n"
               "       is not valid text, a name or symbol with a line break, a tab or another\n"
               "       control character, \",\" or \";\", or a character the file's encoding\n"
               "       cannot hold, an empty name for a parameter made constant; or (without\n"
               "       --allow-name-clashes) an empty name, a name that does not read as a\n"
               "       name, clashing names or ambiguous symbols\n"
               "  3    --check: the file is not sound (syntax, names, histories, probabilities,\n"
               "       or not the file of the model options given); the findings are listed\n"
               "  130  interrupted (SIGINT or SIGTERM) before the end; with --output nothing\n"
               "       is left behind\n"
               "  141  ended by SIGPIPE: the reader of a pipe or FIFO stopped reading before\n"
               "       the end (as \"| head\" does), without a message\n"
               "\nThe file is UTF-8 (on Windows: the system's ANSI code page), without a\n"
               "byte-order mark.\n"
               "\nExamples:\n"
               "  %1 -n 5 --censoring -o model.txt\n"
               "  %1 -n 24 --stats\n"
               "  %1 --check model.txt\n"
               "  %1 --check model.txt -n 5 --censoring\n"
               "  %1 -n 3 --initial-release | less\n"
               "  %1 -n 6 --constant-survival --constant-detection -o model.txt\n")
                .arg(programName());
    return text;
}

// Help, the version, and the arguments that leave nothing else to read: a parse error or a
// stray argument. True when the request is complete.
bool answeredAtOnce(QCommandLineParser &parser, const Options &o, const QStringList &arguments,
                    CompanionRequest &request) {
    if (!parser.parse(arguments.isEmpty() ? QStringList{programName()} : arguments)) {
        request.action = CompanionRequest::Action::UsageError;
        request.text = usageError(parseError(parser, arguments));
        return true;
    }
    if (parser.isSet(o.help)) {
        request.action = CompanionRequest::Action::Help;
        request.text = helpText(parser);
        return true;
    }
    if (parser.isSet(o.version)) {
        request.action = CompanionRequest::Action::Version;
        request.text = programName() + u' ' + QStringLiteral(TARSKCJS_VERSION) + u'\n';
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        request.action = CompanionRequest::Action::UsageError;
        request.text = usageError(tr("unexpected argument \"%1\"")
                                      .arg(visibleText(parser.positionalArguments().constFirst())));
        return true;
    }
    return false;
}

// What --check or --stats cannot go with, or what --check lacks; empty when nothing.
QString checkConflict(const QCommandLineParser &parser, const Options &o) {
    const bool checking = parser.isSet(o.check);
    if (checking && parser.isSet(o.output))
        return tr("--check and --output exclude each other");
    if (checking && parser.isSet(o.stats))
        return tr("--check and --stats exclude each other");
    if (parser.isSet(o.stats) && parser.isSet(o.output))
        return tr("--stats and --output exclude each other");
    if (!checking && parser.isSet(o.seed))
        return tr("--seed goes with --check");
    if (checking && parser.value(o.check).isEmpty())
        return tr("--check needs a file name (\"-\" for standard input)");
    if (parser.values(o.check).size() > 1)
        return tr("--check takes one file; give it once");
    return QString();
}

// False, with the usage error in `error`, when a number is not one or out of range.
bool readModelOptions(const QCommandLineParser &parser, const Options &o,
                      const QStringList &arguments, ModelOptions &options, QString &error) {
    if (!parseNumber(parser, o.periods, arguments, 2, 99, options.numPeriods, error)
        || !parseNumber(parser, o.initialSurvivalIndex, arguments, 0, 99,
                        options.initialSurvivalIndex, error))
        return false;
    options.survivalParameter = parser.value(o.survival);
    options.detectionParameter = parser.value(o.detection);
    options.finalParameter = parser.value(o.final);
    options.noMoreDetections = parser.value(o.noMoreDetections);
    options.detectedSymbol = parser.value(o.detectedSymbol);
    options.notDetectedSymbol = parser.value(o.notDetectedSymbol);
    options.censoring = parser.isSet(o.censoring);
    options.censoringParameter = parser.value(o.censoringParameter);
    options.censoredSymbol = parser.value(o.censoredSymbol);
    options.initialRelease = parser.isSet(o.initialRelease);
    options.constantSurvival = parser.isSet(o.constantSurvival);
    options.constantDetection = parser.isSet(o.constantDetection);
    options.constantCensoring = parser.isSet(o.constantCensoring);
    return true;
}

// The output file and the progress bar; the usage error, or an empty string.
QString readOutput(const QCommandLineParser &parser, const Options &o, CompanionRequest &request) {
    request.outputFile = parser.value(o.output);
    if (parser.isSet(o.output) && request.outputFile.isEmpty())
        return tr("--output needs a file name (\"-\" for standard output)");
    if (parser.isSet(o.progress) && parser.isSet(o.noProgress))
        return tr("--progress and --no-progress exclude each other");
    if (parser.isSet(o.progress))
        request.progress = CompanionRequest::Progress::On;
    else if (parser.isSet(o.noProgress))
        request.progress = CompanionRequest::Progress::Off;
    return QString();
}

// The file to check, whether to compare it with the model options, and the seed; the usage
// error, or an empty string.
QString readCheck(const QCommandLineParser &parser, const Options &o, CompanionRequest &request) {
    request.action = CompanionRequest::Action::Check;
    request.checkFile = parser.value(o.check);
    const QList<QCommandLineOption> model = o.model();
    request.compareWithOptions =
        std::any_of(model.cbegin(), model.cend(),
                    [&parser](const QCommandLineOption &option) { return parser.isSet(option); });
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    bool fits = false;
    const qulonglong seed = parser.value(o.seed).toULongLong(&fits);
    if (!digits.match(parser.value(o.seed)).hasMatch() || !fits || seed > 0xffffffffULL) {
        return tr("--seed must be a whole number from 0 to 4294967295, not \"%1\"")
            .arg(visibleText(parser.value(o.seed)));
    }
    request.seed = quint32(seed);
    return QString();
}

// Options that were given but change nothing in the file of the model they describe.
QStringList ineffectiveOptions(const QCommandLineParser &parser, const Options &o,
                               const ModelOptions &options) {
    QStringList warnings;
    if (options.constantSurvival && parser.isSet(o.initialSurvivalIndex)) {
        warnings.append(tr("--initial-survival-index has no effect with --constant-survival: "
                           "the survival parameter has no number"));
    }
    if (ModelText::finalIsProduct(options) && parser.isSet(o.final)) {
        const QString reduced =
            options.constantSurvival && options.constantDetection
                ? tr("--constant-survival and --constant-detection")
                : (options.constantSurvival ? QStringLiteral("--constant-survival")
                                            : QStringLiteral("--constant-detection"));
        warnings.append(tr("--final has no effect with %1: the file writes the last survival "
                           "times the last detection instead of a final parameter")
                            .arg(reduced));
    }
    if (!options.censoring) {
        for (const QCommandLineOption *censoringOnly :
             {&o.censoringParameter, &o.censoredSymbol, &o.constantCensoring}) {
            if (parser.isSet(*censoringOnly)) {
                warnings.append(tr("--%1 has no effect without --censoring")
                                    .arg(censoringOnly->names().constLast()));
            }
        }
    }
    return warnings;
}

} // namespace

QString undecodableArgumentError(const QList<QByteArray> &arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(arguments.at(i));
        if (!decoder.hasError())
            continue;
        QString shown;
        for (const char byte : arguments.at(i)) {
            const uchar code = uchar(byte);
            shown += code >= 0x20 && code < 0x7f
                         ? QString(QLatin1Char(byte))
                         : QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        }
        const QByteArray &previous = arguments.at(i - 1);
        const QString where = previous.startsWith('-') && !arguments.at(i).startsWith('-')
                                  ? tr("the value of \"%1\"").arg(QString::fromLatin1(previous))
                                  : tr("argument %1").arg(i);
        return usageError(tr("%1 (\"%2\") is not valid text in the system's encoding%3, so it "
                             "cannot be written as meant")
                              .arg(where, shown, systemEncodingName()));
    }
    return QString();
}

QString optionForField(ModelField field) {
    switch (field) {
    case ModelField::SurvivalParameter:
        return QStringLiteral("--survival");
    case ModelField::DetectionParameter:
        return QStringLiteral("--detection");
    case ModelField::FinalParameter:
        return QStringLiteral("--final");
    case ModelField::NoMoreDetections:
        return QStringLiteral("--no-more-detections");
    case ModelField::DetectedSymbol:
        return QStringLiteral("--detected-symbol");
    case ModelField::NotDetectedSymbol:
        return QStringLiteral("--not-detected-symbol");
    case ModelField::CensoringParameter:
        return QStringLiteral("--censoring-parameter");
    case ModelField::CensoredSymbol:
        return QStringLiteral("--censored-symbol");
    }
    return QString();
}

CompanionRequest parseCommandLine(const QStringList &arguments) {
    CompanionRequest request;
    const Options o;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Writes the model definition file of a Cormack-Jolly-Seber survival model: the "
           "parameters, the variables and the likelihood of every detection history."));
    parser.addOptions(o.all());
    if (answeredAtOnce(parser, o, arguments, request))
        return request;

    const auto usage = [&request](const QString &message) {
        request.action = CompanionRequest::Action::UsageError;
        request.text = usageError(message);
        return request;
    };
    if (const QString conflict = checkConflict(parser, o); !conflict.isEmpty())
        return usage(conflict);
    if (!readModelOptions(parser, o, arguments, request.options, request.text)) {
        request.action = CompanionRequest::Action::UsageError;
        return request;
    }
    request.warnings = ineffectiveOptions(parser, o, request.options);
    if (const QString error = readOutput(parser, o, request); !error.isEmpty())
        return usage(error);
    request.allowNameClashes = parser.isSet(o.allowNameClashes);
    request.action =
        parser.isSet(o.stats) ? CompanionRequest::Action::Stats : CompanionRequest::Action::Write;
    if (parser.isSet(o.check)) {
        if (const QString error = readCheck(parser, o, request); !error.isEmpty())
            return usage(error);
    }
    return request;
}
