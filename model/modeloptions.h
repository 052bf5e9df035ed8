// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Every input of one model definition file, with the model form's defaults.
struct ModelOptions {
    int numPeriods = 2; // N, capture occasions after the release (form: 2 to 99)
    QString survivalParameter = QStringLiteral("s");
    QString detectionParameter = QStringLiteral("p");
    QString finalParameter = QStringLiteral("lambda");
    QString noMoreDetections = QStringLiteral("X");
    int initialSurvivalIndex = 0; // S0, subscript of the first survival parameter (0 to 99)
    QString detectedSymbol = QStringLiteral("1");
    QString notDetectedSymbol = QStringLiteral("0");
    bool censoring = false;
    QString censoringParameter = QStringLiteral("c");
    QString censoredSymbol = QStringLiteral("2");
    bool initialRelease = false;
    // Reduced models: one parameter for every interval (phi(.)), for every occasion (p(.)), or
    // for every censoring occasion (only with censoring).
    bool constantSurvival = false;
    bool constantDetection = false;
    bool constantCensoring = false;
};
