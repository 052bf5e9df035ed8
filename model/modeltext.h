// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeloptions.h"

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
namespace ModelText {

QString survival(const ModelOptions &options, int occasion);         // S(S0 + occasion - 1)
QString detection(const ModelOptions &options, int occasion);        // P(occasion)
QString censoring(const ModelOptions &options, int occasion);        // C(occasion)
QString noMoreDetections(const ModelOptions &options, int occasion); // X(occasion)

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
