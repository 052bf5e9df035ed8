// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <utility>

// The two complete files every front-end must write byte for byte, with "\n" line ends.

// N = 2, every other input at the form's default.
inline const QByteArray WorkedExampleA = "parameters\n"
                                         "s0, p1, lambda;\n"
                                         "\n"
                                         "variables\n"
                                         "X1 = 1 - lambda,\n"
                                         "X0 = 1 - s0 + s0*(1-p1)*X1;\n"
                                         "\n"
                                         "likelihood\n"
                                         "\"CJS Likelihood\"\n"
                                         "0 0, X0,\n"
                                         "0 1, s0*(1-p1)*lambda,\n"
                                         "1 0, s0*p1*X1,\n"
                                         "1 1, s0*p1*lambda;\n";

// N = 3 with censoring, every other input at the form's default.
inline const QByteArray WorkedExampleB = "parameters\n"
                                         "s0, p1, c1, s1, p2,\n"
                                         "c2, lambda;\n"
                                         "\n"
                                         "variables\n"
                                         "X2 = 1 - lambda,\n"
                                         "X1 = 1 - s1 + s1*(1-p2)*X2,\n"
                                         "X0 = 1 - s0 + s0*(1-p1)*X1;\n"
                                         "\n"
                                         "likelihood\n"
                                         "\"CJS Likelihood\"\n"
                                         "0 0 0, X0,\n"
                                         "0 0 1, s0*(1-p1)*s1*(1-p2)*lambda,\n"
                                         "0 1 0, s0*(1-p1)*s1*p2*(1-c2)*X2,\n"
                                         "0 1 1, s0*(1-p1)*s1*p2*(1-c2)*lambda,\n"
                                         "0 2 0, s0*(1-p1)*s1*p2*c2,\n"
                                         "1 0 0, s0*p1*(1-c1)*X1,\n"
                                         "1 0 1, s0*p1*(1-c1)*s1*(1-p2)*lambda,\n"
                                         "1 1 0, s0*p1*(1-c1)*s1*p2*(1-c2)*X2,\n"
                                         "1 1 1, s0*p1*(1-c1)*s1*p2*(1-c2)*lambda,\n"
                                         "1 2 0, s0*p1*(1-c1)*s1*p2*c2,\n"
                                         "2 0 0, s0*p1*c1;\n";

// What a file in text mode holds for a text with "\n" line ends.
inline QByteArray withNativeNewlines(QByteArray text) {
#ifdef Q_OS_WIN
    text.replace("\n", "\r\n");
#endif
    return text;
}

// ---- Reduced models, written out by hand from their rules ----
//
// A constant survival, detection or censoring is its text alone ("s", "p", "c"); once survival
// or detection is constant, F is written as S(S0+N-1)*P(N) wherever it stood, and the
// parameters section ends with S(S0+N-1) and P(N) instead of F. A constant name is declared
// once, at its first appearance.

inline ModelOptions reducedModel(int numPeriods, bool constantSurvival, bool constantDetection,
                                 bool censoring = false, bool constantCensoring = false) {
    ModelOptions options;
    options.numPeriods = numPeriods;
    options.constantSurvival = constantSurvival;
    options.constantDetection = constantDetection;
    options.censoring = censoring;
    options.constantCensoring = constantCensoring;
    return options;
}

// Every reduced model of N periods, named as analysts name them: survival or detection or both
// constant, without censoring, with censoring and with constant censoring; and constant
// censoring alone.
inline QList<std::pair<QByteArray, ModelOptions>> reducedModels(int numPeriods) {
    QList<std::pair<QByteArray, ModelOptions>> models;
    const auto letter = [](bool constant) { return QByteArray(constant ? "(.)" : "(t)"); };
    for (const bool censoring : {false, true}) {
        for (const bool constantCensoring : {false, true}) {
            if (constantCensoring && !censoring)
                continue;
            for (const bool constantSurvival : {false, true}) {
                for (const bool constantDetection : {false, true}) {
                    if (!constantSurvival && !constantDetection && !constantCensoring)
                        continue; // the full model
                    models.append({"phi" + letter(constantSurvival) + "p"
                                       + letter(constantDetection)
                                       + (censoring ? "c" + letter(constantCensoring) : ""),
                                   reducedModel(numPeriods, constantSurvival, constantDetection,
                                                censoring, constantCensoring)});
                }
            }
        }
    }
    return models;
}

struct ReducedExample {
    const char *name;
    ModelOptions options;
    QByteArray file; // with "\n" line ends
};

// Every reduced model for N = 2 and 3, every other input at the form's default.
inline QList<ReducedExample> reducedExamples() {
    const QByteArray likelihood = "\nlikelihood\n\"CJS Likelihood\"\n";
    return {
        {"phi(.)p(t)_N2", reducedModel(2, true, false),
         "parameters\ns, p1, p2;\n\nvariables\nX1 = 1 - s*p2,\nX0 = 1 - s + s*(1-p1)*X1;\n"
             + likelihood + "0 0, X0,\n0 1, s*(1-p1)*s*p2,\n1 0, s*p1*X1,\n1 1, s*p1*s*p2;\n"},
        {"phi(t)p(.)_N2", reducedModel(2, false, true),
         "parameters\ns0, p, s1;\n\nvariables\nX1 = 1 - s1*p,\nX0 = 1 - s0 + s0*(1-p)*X1;\n"
             + likelihood + "0 0, X0,\n0 1, s0*(1-p)*s1*p,\n1 0, s0*p*X1,\n1 1, s0*p*s1*p;\n"},
        {"phi(.)p(.)_N2", reducedModel(2, true, true),
         "parameters\ns, p;\n\nvariables\nX1 = 1 - s*p,\nX0 = 1 - s + s*(1-p)*X1;\n" + likelihood
             + "0 0, X0,\n0 1, s*(1-p)*s*p,\n1 0, s*p*X1,\n1 1, s*p*s*p;\n"},
        {"phi(t)p(t)c(.)_N2", reducedModel(2, false, false, true, true),
         "parameters\ns0, p1, c, lambda;\n\nvariables\nX1 = 1 - lambda,\n"
         "X0 = 1 - s0 + s0*(1-p1)*X1;\n"
             + likelihood
             + "0 0, X0,\n0 1, s0*(1-p1)*lambda,\n1 0, s0*p1*(1-c)*X1,\n"
               "1 1, s0*p1*(1-c)*lambda,\n2 0, s0*p1*c;\n"},
        {"phi(.)p(t)c(t)_N2", reducedModel(2, true, false, true),
         "parameters\ns, p1, c1, p2;\n\nvariables\nX1 = 1 - s*p2,\nX0 = 1 - s + s*(1-p1)*X1;\n"
             + likelihood
             + "0 0, X0,\n0 1, s*(1-p1)*s*p2,\n1 0, s*p1*(1-c1)*X1,\n1 1, s*p1*(1-c1)*s*p2,\n"
               "2 0, s*p1*c1;\n"},
        {"phi(.)p(t)c(.)_N2", reducedModel(2, true, false, true, true),
         "parameters\ns, p1, c, p2;\n\nvariables\nX1 = 1 - s*p2,\nX0 = 1 - s + s*(1-p1)*X1;\n"
             + likelihood
             + "0 0, X0,\n0 1, s*(1-p1)*s*p2,\n1 0, s*p1*(1-c)*X1,\n1 1, s*p1*(1-c)*s*p2,\n"
               "2 0, s*p1*c;\n"},
        {"phi(t)p(.)c(t)_N2", reducedModel(2, false, true, true),
         "parameters\ns0, p, c1, s1;\n\nvariables\nX1 = 1 - s1*p,\nX0 = 1 - s0 + s0*(1-p)*X1;\n"
             + likelihood
             + "0 0, X0,\n0 1, s0*(1-p)*s1*p,\n1 0, s0*p*(1-c1)*X1,\n1 1, s0*p*(1-c1)*s1*p,\n"
               "2 0, s0*p*c1;\n"},
        {"phi(t)p(.)c(.)_N2", reducedModel(2, false, true, true, true),
         "parameters\ns0, p, c, s1;\n\nvariables\nX1 = 1 - s1*p,\nX0 = 1 - s0 + s0*(1-p)*X1;\n"
             + likelihood
             + "0 0, X0,\n0 1, s0*(1-p)*s1*p,\n1 0, s0*p*(1-c)*X1,\n1 1, s0*p*(1-c)*s1*p,\n"
               "2 0, s0*p*c;\n"},
        {"phi(.)p(.)c(t)_N2", reducedModel(2, true, true, true),
         "parameters\ns, p, c1;\n\nvariables\nX1 = 1 - s*p,\nX0 = 1 - s + s*(1-p)*X1;\n"
             + likelihood
             + "0 0, X0,\n0 1, s*(1-p)*s*p,\n1 0, s*p*(1-c1)*X1,\n1 1, s*p*(1-c1)*s*p,\n"
               "2 0, s*p*c1;\n"},
        {"phi(.)p(.)c(.)_N2", reducedModel(2, true, true, true, true),
         "parameters\ns, p, c;\n\nvariables\nX1 = 1 - s*p,\nX0 = 1 - s + s*(1-p)*X1;\n" + likelihood
             + "0 0, X0,\n0 1, s*(1-p)*s*p,\n1 0, s*p*(1-c)*X1,\n1 1, s*p*(1-c)*s*p,\n"
               "2 0, s*p*c;\n"},

        {"phi(.)p(t)_N3", reducedModel(3, true, false),
         "parameters\ns, p1, p2, p3;\n\nvariables\nX2 = 1 - s*p3,\nX1 = 1 - s + s*(1-p2)*X2,\n"
         "X0 = 1 - s + s*(1-p1)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s*(1-p1)*s*(1-p2)*s*p3,\n"
               "0 1 0, s*(1-p1)*s*p2*X2,\n"
               "0 1 1, s*(1-p1)*s*p2*s*p3,\n"
               "1 0 0, s*p1*X1,\n"
               "1 0 1, s*p1*s*(1-p2)*s*p3,\n"
               "1 1 0, s*p1*s*p2*X2,\n"
               "1 1 1, s*p1*s*p2*s*p3;\n"},
        {"phi(t)p(.)_N3", reducedModel(3, false, true),
         "parameters\ns0, p, s1, s2;\n\nvariables\nX2 = 1 - s2*p,\nX1 = 1 - s1 + s1*(1-p)*X2,\n"
         "X0 = 1 - s0 + s0*(1-p)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s0*(1-p)*s1*(1-p)*s2*p,\n"
               "0 1 0, s0*(1-p)*s1*p*X2,\n"
               "0 1 1, s0*(1-p)*s1*p*s2*p,\n"
               "1 0 0, s0*p*X1,\n"
               "1 0 1, s0*p*s1*(1-p)*s2*p,\n"
               "1 1 0, s0*p*s1*p*X2,\n"
               "1 1 1, s0*p*s1*p*s2*p;\n"},
        {"phi(.)p(.)_N3", reducedModel(3, true, true),
         "parameters\ns, p;\n\nvariables\nX2 = 1 - s*p,\nX1 = 1 - s + s*(1-p)*X2,\n"
         "X0 = 1 - s + s*(1-p)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s*(1-p)*s*(1-p)*s*p,\n"
               "0 1 0, s*(1-p)*s*p*X2,\n"
               "0 1 1, s*(1-p)*s*p*s*p,\n"
               "1 0 0, s*p*X1,\n"
               "1 0 1, s*p*s*(1-p)*s*p,\n"
               "1 1 0, s*p*s*p*X2,\n"
               "1 1 1, s*p*s*p*s*p;\n"},
        // Five items, then F alone on its line, as in the full model.
        {"phi(t)p(t)c(.)_N3", reducedModel(3, false, false, true, true),
         "parameters\ns0, p1, c, s1, p2,\nlambda;\n\nvariables\nX2 = 1 - lambda,\n"
         "X1 = 1 - s1 + s1*(1-p2)*X2,\nX0 = 1 - s0 + s0*(1-p1)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s0*(1-p1)*s1*(1-p2)*lambda,\n"
               "0 1 0, s0*(1-p1)*s1*p2*(1-c)*X2,\n"
               "0 1 1, s0*(1-p1)*s1*p2*(1-c)*lambda,\n"
               "0 2 0, s0*(1-p1)*s1*p2*c,\n"
               "1 0 0, s0*p1*(1-c)*X1,\n"
               "1 0 1, s0*p1*(1-c)*s1*(1-p2)*lambda,\n"
               "1 1 0, s0*p1*(1-c)*s1*p2*(1-c)*X2,\n"
               "1 1 1, s0*p1*(1-c)*s1*p2*(1-c)*lambda,\n"
               "1 2 0, s0*p1*(1-c)*s1*p2*c,\n"
               "2 0 0, s0*p1*c;\n"},
        // Five items, then the sixth alone on its line with ";".
        {"phi(.)p(t)c(t)_N3", reducedModel(3, true, false, true),
         "parameters\ns, p1, c1, p2, c2,\np3;\n\nvariables\nX2 = 1 - s*p3,\n"
         "X1 = 1 - s + s*(1-p2)*X2,\nX0 = 1 - s + s*(1-p1)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s*(1-p1)*s*(1-p2)*s*p3,\n"
               "0 1 0, s*(1-p1)*s*p2*(1-c2)*X2,\n"
               "0 1 1, s*(1-p1)*s*p2*(1-c2)*s*p3,\n"
               "0 2 0, s*(1-p1)*s*p2*c2,\n"
               "1 0 0, s*p1*(1-c1)*X1,\n"
               "1 0 1, s*p1*(1-c1)*s*(1-p2)*s*p3,\n"
               "1 1 0, s*p1*(1-c1)*s*p2*(1-c2)*X2,\n"
               "1 1 1, s*p1*(1-c1)*s*p2*(1-c2)*s*p3,\n"
               "1 2 0, s*p1*(1-c1)*s*p2*c2,\n"
               "2 0 0, s*p1*c1;\n"},
        // Exactly five items: the fifth ends the section with ";".
        {"phi(.)p(t)c(.)_N3", reducedModel(3, true, false, true, true),
         "parameters\ns, p1, c, p2, p3;\n\nvariables\nX2 = 1 - s*p3,\n"
         "X1 = 1 - s + s*(1-p2)*X2,\nX0 = 1 - s + s*(1-p1)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s*(1-p1)*s*(1-p2)*s*p3,\n"
               "0 1 0, s*(1-p1)*s*p2*(1-c)*X2,\n"
               "0 1 1, s*(1-p1)*s*p2*(1-c)*s*p3,\n"
               "0 2 0, s*(1-p1)*s*p2*c,\n"
               "1 0 0, s*p1*(1-c)*X1,\n"
               "1 0 1, s*p1*(1-c)*s*(1-p2)*s*p3,\n"
               "1 1 0, s*p1*(1-c)*s*p2*(1-c)*X2,\n"
               "1 1 1, s*p1*(1-c)*s*p2*(1-c)*s*p3,\n"
               "1 2 0, s*p1*(1-c)*s*p2*c,\n"
               "2 0 0, s*p1*c;\n"},
        {"phi(t)p(.)c(t)_N3", reducedModel(3, false, true, true),
         "parameters\ns0, p, c1, s1, c2,\ns2;\n\nvariables\nX2 = 1 - s2*p,\n"
         "X1 = 1 - s1 + s1*(1-p)*X2,\nX0 = 1 - s0 + s0*(1-p)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s0*(1-p)*s1*(1-p)*s2*p,\n"
               "0 1 0, s0*(1-p)*s1*p*(1-c2)*X2,\n"
               "0 1 1, s0*(1-p)*s1*p*(1-c2)*s2*p,\n"
               "0 2 0, s0*(1-p)*s1*p*c2,\n"
               "1 0 0, s0*p*(1-c1)*X1,\n"
               "1 0 1, s0*p*(1-c1)*s1*(1-p)*s2*p,\n"
               "1 1 0, s0*p*(1-c1)*s1*p*(1-c2)*X2,\n"
               "1 1 1, s0*p*(1-c1)*s1*p*(1-c2)*s2*p,\n"
               "1 2 0, s0*p*(1-c1)*s1*p*c2,\n"
               "2 0 0, s0*p*c1;\n"},
        {"phi(t)p(.)c(.)_N3", reducedModel(3, false, true, true, true),
         "parameters\ns0, p, c, s1, s2;\n\nvariables\nX2 = 1 - s2*p,\n"
         "X1 = 1 - s1 + s1*(1-p)*X2,\nX0 = 1 - s0 + s0*(1-p)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s0*(1-p)*s1*(1-p)*s2*p,\n"
               "0 1 0, s0*(1-p)*s1*p*(1-c)*X2,\n"
               "0 1 1, s0*(1-p)*s1*p*(1-c)*s2*p,\n"
               "0 2 0, s0*(1-p)*s1*p*c,\n"
               "1 0 0, s0*p*(1-c)*X1,\n"
               "1 0 1, s0*p*(1-c)*s1*(1-p)*s2*p,\n"
               "1 1 0, s0*p*(1-c)*s1*p*(1-c)*X2,\n"
               "1 1 1, s0*p*(1-c)*s1*p*(1-c)*s2*p,\n"
               "1 2 0, s0*p*(1-c)*s1*p*c,\n"
               "2 0 0, s0*p*c;\n"},
        {"phi(.)p(.)c(t)_N3", reducedModel(3, true, true, true),
         "parameters\ns, p, c1, c2;\n\nvariables\nX2 = 1 - s*p,\nX1 = 1 - s + s*(1-p)*X2,\n"
         "X0 = 1 - s + s*(1-p)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s*(1-p)*s*(1-p)*s*p,\n"
               "0 1 0, s*(1-p)*s*p*(1-c2)*X2,\n"
               "0 1 1, s*(1-p)*s*p*(1-c2)*s*p,\n"
               "0 2 0, s*(1-p)*s*p*c2,\n"
               "1 0 0, s*p*(1-c1)*X1,\n"
               "1 0 1, s*p*(1-c1)*s*(1-p)*s*p,\n"
               "1 1 0, s*p*(1-c1)*s*p*(1-c2)*X2,\n"
               "1 1 1, s*p*(1-c1)*s*p*(1-c2)*s*p,\n"
               "1 2 0, s*p*(1-c1)*s*p*c2,\n"
               "2 0 0, s*p*c1;\n"},
        {"phi(.)p(.)c(.)_N3", reducedModel(3, true, true, true, true),
         "parameters\ns, p, c;\n\nvariables\nX2 = 1 - s*p,\nX1 = 1 - s + s*(1-p)*X2,\n"
         "X0 = 1 - s + s*(1-p)*X1;\n"
             + likelihood
             + "0 0 0, X0,\n"
               "0 0 1, s*(1-p)*s*(1-p)*s*p,\n"
               "0 1 0, s*(1-p)*s*p*(1-c)*X2,\n"
               "0 1 1, s*(1-p)*s*p*(1-c)*s*p,\n"
               "0 2 0, s*(1-p)*s*p*c,\n"
               "1 0 0, s*p*(1-c)*X1,\n"
               "1 0 1, s*p*(1-c)*s*(1-p)*s*p,\n"
               "1 1 0, s*p*(1-c)*s*p*(1-c)*X2,\n"
               "1 1 1, s*p*(1-c)*s*p*(1-c)*s*p,\n"
               "1 2 0, s*p*(1-c)*s*p*c,\n"
               "2 0 0, s*p*c;\n"},
    };
}

// What an analyst's careful hand edit makes of the full model's file (the form's default
// names, S0 = 0): the given parameters section, and in the rest F replaced by
// S(N-1)*P(N) when survival or detection is constant, then every S(j), P(j) or C(j) of a
// constant parameter renamed to its text alone.
inline QByteArray editedToReduced(const QByteArray &fullFile, const ModelOptions &reduced,
                                  const QByteArray &parametersSection) {
    QString rest = QString::fromUtf8(fullFile.mid(fullFile.indexOf("\n\nvariables\n")));
    if (reduced.constantSurvival || reduced.constantDetection) {
        rest.replace(QStringLiteral("lambda"),
                     QStringLiteral("s%1*p%2").arg(reduced.numPeriods - 1).arg(reduced.numPeriods));
    }
    const auto rename = [&rest](bool constant, const QString &stem) {
        if (constant)
            rest.replace(QRegularExpression(QStringLiteral("\\b%1\\d+\\b").arg(stem)), stem);
    };
    rename(reduced.constantSurvival, QStringLiteral("s"));
    rename(reduced.constantDetection, QStringLiteral("p"));
    rename(reduced.constantCensoring && reduced.censoring, QStringLiteral("c"));
    return "parameters\n" + parametersSection + rest.toUtf8();
}
