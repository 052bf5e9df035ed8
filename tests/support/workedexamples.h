// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

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
