// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeltext.h"

namespace ModelText {

namespace {

QString numbered(const QString &stem, int number) {
    return stem + QString::number(number);
}

} // namespace

QString survival(const ModelOptions &options, int occasion) {
    return numbered(options.survivalParameter, options.initialSurvivalIndex + occasion - 1);
}

QString detection(const ModelOptions &options, int occasion) {
    return numbered(options.detectionParameter, occasion);
}

QString censoring(const ModelOptions &options, int occasion) {
    return numbered(options.censoringParameter, occasion);
}

QString noMoreDetections(const ModelOptions &options, int occasion) {
    return numbered(options.noMoreDetections, occasion);
}

// S, P (and C with censoring) of every occasion but the last, five items to a line, then F.
QString parametersSection(const ModelOptions &options) {
    QString text = QStringLiteral("parameters\n");
    int items = 0;
    const auto addItem = [&](const QString &name) {
        ++items;
        text += name + u',' + (items % 5 == 0 ? u'\n' : u' ');
    };
    for (int i = 1; i <= options.numPeriods - 1; ++i) {
        addItem(survival(options, i));
        addItem(detection(options, i));
        if (options.censoring)
            addItem(censoring(options, i));
    }
    text += options.finalParameter + ";\n";
    return text;
}

// X(N-1) = 1 - F, then X(k) = 1 - S + S*(1-P(k+1))*X(k+1) from k = N-2 down to 0.
QString variablesSection(const ModelOptions &options) {
    const int n = options.numPeriods;
    QString text = QStringLiteral("\nvariables\n");
    text += noMoreDetections(options, n - 1) + " = 1 - " + options.finalParameter + ",\n";
    for (int k = n - 2; k >= 0; --k) {
        const QString s = survival(options, k + 1);
        text += noMoreDetections(options, k) + " = 1 - " + s + " + " + s + "*(1-"
                + detection(options, k + 1) + ")*" + noMoreDetections(options, k + 1)
                + (k > 0 ? ",\n" : ";\n");
    }
    return text;
}

QString likelihoodHead() {
    return QStringLiteral("\nlikelihood\n\"CJS Likelihood\"\n");
}

QString symbol(const ModelOptions &options, int digit) {
    switch (digit) {
    case 0:
        return options.notDetectedSymbol;
    case 1:
        return options.detectedSymbol;
    default:
        return options.censoredSymbol;
    }
}

QString releasePrefix(const ModelOptions &options) {
    return options.initialRelease ? options.detectedSymbol + SymbolSeparator : QString();
}

QString factor(const ModelOptions &options, int occasion, int digit) {
    const QString s = survival(options, occasion) + u'*';
    const QString p = detection(options, occasion);
    switch (digit) {
    case 0:
        return s + "(1-" + p + ")*";
    case 1:
        if (options.censoring)
            return s + p + "*(1-" + censoring(options, occasion) + ")*";
        return s + p + u'*';
    default:
        return s + p + u'*' + censoring(options, occasion);
    }
}

QString closingFactor(const ModelOptions &options, int lastDetection, bool censored) {
    if (lastDetection == options.numPeriods)
        return options.finalParameter;
    if (censored)
        return QString();
    return noMoreDetections(options, lastDetection);
}

} // namespace ModelText
