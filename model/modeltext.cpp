// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeltext.h"

namespace ModelText {

namespace {

// A name of a parameter that differs between intervals or occasions, or the constant one.
QString numbered(const QString &stem, int number, bool constant) {
    return constant ? stem : stem + QString::number(number);
}

} // namespace

QString survival(const ModelOptions &options, int occasion) {
    return numbered(options.survivalParameter, options.initialSurvivalIndex + occasion - 1,
                    options.constantSurvival);
}

QString detection(const ModelOptions &options, int occasion) {
    return numbered(options.detectionParameter, occasion, options.constantDetection);
}

QString censoring(const ModelOptions &options, int occasion) {
    return numbered(options.censoringParameter, occasion, options.constantCensoring);
}

QString noMoreDetections(const ModelOptions &options, int occasion) {
    return numbered(options.noMoreDetections, occasion, false);
}

bool finalIsProduct(const ModelOptions &options) {
    return options.constantSurvival || options.constantDetection;
}

QString finalFactor(const ModelOptions &options) {
    const int n = options.numPeriods;
    return finalIsProduct(options) ? survival(options, n) + u'*' + detection(options, n)
                                   : options.finalParameter;
}

QList<DeclaredParameter> declaredParameters(const ModelOptions &options) {
    using Kind = DeclaredParameter::Kind;
    QList<DeclaredParameter> declared;
    bool survivalDeclared = false, detectionDeclared = false, censoringDeclared = false;
    const auto declare = [&](Kind kind, const QString &name, bool constant, bool &done) {
        if (constant && done)
            return;
        declared.append({kind, name});
        done = true;
    };
    const int n = options.numPeriods;
    for (int i = 1; i <= n - 1; ++i) {
        declare(Kind::Survival, survival(options, i), options.constantSurvival, survivalDeclared);
        declare(Kind::Detection, detection(options, i), options.constantDetection,
                detectionDeclared);
        if (options.censoring) {
            declare(Kind::Censoring, censoring(options, i), options.constantCensoring,
                    censoringDeclared);
        }
    }
    if (finalIsProduct(options)) {
        declare(Kind::Survival, survival(options, n), options.constantSurvival, survivalDeclared);
        declare(Kind::Detection, detection(options, n), options.constantDetection,
                detectionDeclared);
    } else {
        declared.append({Kind::Final, options.finalParameter});
    }
    return declared;
}

// The declared parameters, five to a line, each followed by "," and a space or a line break;
// the last one by ";". (So a kept F, always last, stands alone on its line after a multiple of
// five items.)
QString parametersSection(const ModelOptions &options) {
    QString text = QStringLiteral("parameters\n");
    const QList<DeclaredParameter> declared = declaredParameters(options);
    for (qsizetype item = 1; item <= declared.size(); ++item) {
        const QString end = item == declared.size() ? QStringLiteral(";\n")
                            : item % 5 == 0         ? QStringLiteral(",\n")
                                                    : QStringLiteral(", ");
        text += declared.at(item - 1).name + end;
    }
    return text;
}

// X(N-1) = 1 - F, then X(k) = 1 - S + S*(1-P(k+1))*X(k+1) from k = N-2 down to 0.
QString variablesSection(const ModelOptions &options) {
    const int n = options.numPeriods;
    QString text = QStringLiteral("\nvariables\n");
    text += noMoreDetections(options, n - 1) + " = 1 - " + finalFactor(options) + ",\n";
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
        return finalFactor(options);
    if (censored)
        return QString();
    return noMoreDetections(options, lastDetection);
}

} // namespace ModelText
