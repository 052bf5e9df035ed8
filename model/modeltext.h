// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"

#include <QList>
#include <QString>

// The texts of a model definition file, piece by piece, as the writer puts them together:
//
//   parameters                       <- parametersSection()
//   s0, p1, lambda;
//
//   variables                        <- variablesSection()
//   X1 = 1 - lambda,
//   X0 = 1 - s0 + s0*(1-p1)*X1;
//
//   likelihood                       <- likelihoodHead()
//   "CJS Likelihood"
//   0 1, s0*(1-p1)*lambda,           <- one line per history:
//                                       symbols, ", ", factors, closing factor, "," or ";"
//
// Occasions are numbered from 1; only survival subscripts are shifted by S0.
//
// Reduced models name one parameter for all intervals or occasions: S(j), P(j) or C(j) is then
// the text alone ("s"), and S0 no longer matters. With survival or detection constant, the
// last survival and the last detection are no longer confounded, so F becomes their product
// S(S0+N-1)*P(N) wherever it stood, and the final parameter's name is not written:
//
//   parameters                       constant survival and detection, N = 3
//   s, p;
//
//   variables
//   X2 = 1 - s*p,
//   X1 = 1 - s + s*(1-p)*X2,
//   X0 = 1 - s + s*(1-p)*X1;
//
//   likelihood
//   "CJS Likelihood"
//   ...
//   1 1 1, s*p*s*p*s*p;
namespace ModelText {

QString survival(const ModelOptions &options, int occasion);         // S(S0 + occasion - 1)
QString detection(const ModelOptions &options, int occasion);        // P(occasion)
QString censoring(const ModelOptions &options, int occasion);        // C(occasion)
QString noMoreDetections(const ModelOptions &options, int occasion); // X(occasion)

// Whether F is written as S(S0+N-1)*P(N) (survival or detection constant) rather than as the
// final parameter's name. Censoring never enters the final product.
bool finalIsProduct(const ModelOptions &options);
// F as it stands in "X(N-1) = 1 - F" and at the end of histories last detected at N.
QString finalFactor(const ModelOptions &options);

// The parameters the file declares, in the order of its parameters section: S(S0+i-1), P(i)
// and, with censoring, C(i) for i = 1 to N-1; then S(S0+N-1) and P(N) when F is a product,
// else F. A constant name is declared at its first appearance only.
struct DeclaredParameter {
    enum class Kind { Survival, Detection, Censoring, Final };
    Kind kind;
    QString name;
};
QList<DeclaredParameter> declaredParameters(const ModelOptions &options);

QString parametersSection(const ModelOptions &options);
QString variablesSection(const ModelOptions &options);
QString likelihoodHead();

// The symbol of a history digit (0 not detected, 1 detected, 2 censored).
QString symbol(const ModelOptions &options, int digit);
// What the release puts before every history's symbols: the detected symbol and a space.
QString releasePrefix(const ModelOptions &options);

// The factors that occasion i (1..N-1) contributes to the product when its digit is d:
//   0: S*(1-P)*       1: S*P*  or, with censoring, S*P*(1-C)*       2: S*P*C
QString factor(const ModelOptions &options, int occasion, int digit);
// What ends the product of a history whose last detection is at occasion L:
// X(L) when L < N (X0 alone for the all-zero history), F when L = N, nothing after a censoring.
QString closingFactor(const ModelOptions &options, int lastDetection, bool censored);

inline const QString SymbolSeparator = QStringLiteral(" ");
inline const QString ProductSeparator = QStringLiteral(", ");
inline const QString LineEnd = QStringLiteral(",\n");
inline const QString LastLineEnd = QStringLiteral(";\n");

} // namespace ModelText
