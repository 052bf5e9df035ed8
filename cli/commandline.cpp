// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "modelvalidation.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

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
    QCommandLineOption output{{"o", "output"},
                              tr("Write the file to FILE, atomically (an earlier file is replaced "
                                 "only when the new one is complete). Default: standard output."),
                              "FILE"};
    QCommandLineOption stats{"stats",
                             tr("Print the number of histories and the exact file size; write "
                                "nothing.")};
    QCommandLineOption progress{"progress",
                                tr("Show a progress bar on standard error. Default: only when "
                                   "standard error is a terminal and the file is large.")};
    QCommandLineOption noProgress{"no-progress", tr("Never show a progress bar.")};
    QCommandLineOption allowNameClashes{
        "allow-name-clashes",
        tr("Write even when two names of the file read alike or the history symbols are "
           "ambiguous (a warning is printed instead).")};
    QCommandLineOption help{{"h", "help"}, tr("Show this help and exit.")};
    QCommandLineOption version{{"v", "version"}, tr("Show the version and exit.")};

    QList<QCommandLineOption> all() const {
        return {periods,          survival,
                detection,        final,
                noMoreDetections, initialSurvivalIndex,
                detectedSymbol,   notDetectedSymbol,
                censoring,        censoringParameter,
                censoredSymbol,   initialRelease,
                output,           stats,
                progress,         noProgress,
                allowNameClashes, help,
                version};
    }
};

QString programName() {
    return QStringLiteral("tarskcjs-cli");
}

QString usageError(const QString &message) {
    return tr("%1: %2 (see %1 --help)").arg(programName(), message);
}

// A whole number within [minimum, maximum]; otherwise an error naming the option.
bool parseNumber(const QCommandLineParser &parser, const QCommandLineOption &option, int minimum,
                 int maximum, int &value, QString &error) {
    const QString text = parser.value(option);
    const QString name = QStringLiteral("--") + option.names().constLast();
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    bool ok = wholeNumber.match(text).hasMatch();
    const qlonglong number = ok ? text.toLongLong(&ok) : 0;
    if (!ok) {
        error = usageError(tr("%1 needs a whole number, not \"%2\"").arg(name, text));
        return false;
    }
    if (number < minimum || number > maximum) {
        error = usageError(
            tr("%1 must be from %2 to %3, not %4").arg(name).arg(minimum).arg(maximum).arg(text));
        return false;
    }
    value = int(number);
    return true;
}

QString helpText(const QCommandLineParser &parser) {
    // The parser names the program by its full path; the short name reads better.
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd, tr("Usage: %1 [options]").arg(programName()));
    text += tr("\nExit status:\n"
               "  0    the file was written (or --stats, --help, --version answered)\n"
               "  1    the file could not be written: no room on the volume, no permission,\n"
               "       a missing directory, a full disk; nothing is left behind\n"
               "  2    usage error: an unknown option, a number out of range, a name or symbol\n"
               "       with a line break or a character the file's encoding cannot hold,\n"
               "       or (without --allow-name-clashes) clashing names or ambiguous symbols\n"
               "  130  interrupted (SIGINT or SIGTERM) before the end; with --output nothing\n"
               "       is left behind\n"
               "\nExamples:\n"
               "  %1 -n 5 --censoring -o model.txt\n"
               "  %1 -n 24 --stats\n"
               "  %1 -n 3 --initial-release | less\n")
                .arg(programName());
    return text;
}

} // namespace

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

    if (!parser.parse(arguments.isEmpty() ? QStringList{programName()} : arguments)) {
        request.action = CompanionRequest::Action::UsageError;
        QString error = parser.errorText();
        if (error.endsWith(u'.'))
            error.chop(1);
        request.text = usageError(error);
        return request;
    }
    if (parser.isSet(o.help)) {
        request.action = CompanionRequest::Action::Help;
        request.text = helpText(parser);
        return request;
    }
    if (parser.isSet(o.version)) {
        request.action = CompanionRequest::Action::Version;
        request.text = programName() + u' ' + QStringLiteral(TARSKCJS_VERSION) + u'\n';
        return request;
    }
    if (!parser.positionalArguments().isEmpty()) {
        request.action = CompanionRequest::Action::UsageError;
        request.text = usageError(
            tr("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst()));
        return request;
    }

    ModelOptions &options = request.options;
    if (!parseNumber(parser, o.periods, 2, 99, options.numPeriods, request.text)
        || !parseNumber(parser, o.initialSurvivalIndex, 0, 99, options.initialSurvivalIndex,
                        request.text)) {
        request.action = CompanionRequest::Action::UsageError;
        return request;
    }
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

    request.outputFile = parser.value(o.output);
    if (parser.isSet(o.output) && request.outputFile.isEmpty()) {
        request.action = CompanionRequest::Action::UsageError;
        request.text = usageError(tr("--output needs a file name"));
        return request;
    }
    if (parser.isSet(o.progress) && parser.isSet(o.noProgress)) {
        request.action = CompanionRequest::Action::UsageError;
        request.text = usageError(tr("--progress and --no-progress exclude each other"));
        return request;
    }
    if (parser.isSet(o.progress))
        request.progress = CompanionRequest::Progress::On;
    else if (parser.isSet(o.noProgress))
        request.progress = CompanionRequest::Progress::Off;
    request.allowNameClashes = parser.isSet(o.allowNameClashes);
    request.action =
        parser.isSet(o.stats) ? CompanionRequest::Action::Stats : CompanionRequest::Action::Write;
    return request;
}
