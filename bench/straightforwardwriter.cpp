// SPDX-License-Identifier: GPL-3.0-or-later
#include "straightforwardwriter.h"

#include "historycounter.h"
#include "modeloptions.h"
#include "modeltext.h"

#include <QTextStream>

void writeStraightforwardly(QTextStream &out, const ModelOptions &o) {
    out << ModelText::parametersSection(o) << ModelText::variablesSection(o)
        << ModelText::likelihoodHead();

    const int n = o.numPeriods;
    const int s0 = o.initialSurvivalIndex;
    HistoryCounter counter(n, o.censoring);
    for (;;) {
        if (o.initialRelease)
            out << o.detectedSymbol << " ";
        for (int i = 1; i < n; ++i) {
            out << (counter.isCensored(i)   ? o.censoredSymbol
                    : counter.isDetected(i) ? o.detectedSymbol
                                            : o.notDetectedSymbol)
                << " ";
        }
        out << (counter.isDetected(n) ? o.detectedSymbol : o.notDetectedSymbol) << ", ";

        const int last = counter.lastDetection();
        if (last == 0) {
            out << o.noMoreDetections << QString::number(0);
        } else {
            for (int i = 1; i <= std::min(n - 1, last); ++i) {
                out << o.survivalParameter << QString::number(s0 + i - 1) << "*";
                if (counter.isDetected(i)) {
                    out << o.detectionParameter << QString::number(i) << "*";
                    if (o.censoring && counter.isCensored(i))
                        out << o.censoringParameter << QString::number(i);
                    else if (o.censoring)
                        out << "(1-" << o.censoringParameter << QString::number(i) << ")*";
                } else {
                    out << "(1-" << o.detectionParameter << QString::number(i) << ")*";
                }
            }
            if (last == n)
                out << o.finalParameter;
            else if (!counter.isCensored(last))
                out << o.noMoreDetections << QString::number(last);
        }
        if (!counter.advance())
            break;
        out << ",\n";
    }
    out << ";\n";
}
