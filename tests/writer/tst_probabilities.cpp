// SPDX-License-Identifier: GPL-3.0-or-later
#include "workedexamples.h"
#include "writertestsupport.h"

#include <QHash>

#include <QRandomGenerator>
#include <QTest>
#include <cctype>

namespace {

// Evaluates the arithmetic of the file (names, whole numbers, + - * and parentheses) with the
// values given to the names.
class Evaluator {
public:
    explicit Evaluator(const QHash<QByteArray, double> &values)
        : values(values) {}

    double evaluate(const QByteArray &expression) {
        text = expression;
        position = 0;
        const double value = sum();
        skipSpaces();
        if (position != text.size())
            fail("trailing text");
        return value;
    }

private:
    double sum() {
        double value = product();
        for (skipSpaces(); position < text.size(); skipSpaces()) {
            const char op = text.at(position);
            if (op != '+' && op != '-')
                break;
            ++position;
            value = op == '+' ? value + product() : value - product();
        }
        return value;
    }

    double product() {
        double value = operand();
        for (skipSpaces(); position < text.size() && text.at(position) == '*'; skipSpaces()) {
            ++position;
            value *= operand();
        }
        return value;
    }

    double operand() {
        skipSpaces();
        if (position >= text.size())
            fail("missing operand");
        const char c = text.at(position);
        if (c == '(') {
            ++position;
            const double value = sum();
            skipSpaces();
            if (position >= text.size() || text.at(position) != ')')
                fail("missing )");
            ++position;
            return value;
        }
        const qsizetype start = position;
        while (position < text.size()
               && (std::isalnum(uchar(text.at(position))) || text.at(position) == '_'))
            ++position;
        const QByteArray token = text.mid(start, position - start);
        if (token.isEmpty())
            fail("unexpected character");
        if (std::isdigit(uchar(token.at(0))))
            return token.toDouble();
        if (!values.contains(token))
            fail("unknown name " + token);
        return values.value(token);
    }

    void skipSpaces() {
        while (position < text.size() && text.at(position) == ' ')
            ++position;
    }

    [[noreturn]] void fail(const QByteArray &why) const {
        qFatal("cannot evaluate \"%s\": %s", text.constData(), why.constData());
    }

    const QHash<QByteArray, double> &values;
    QByteArray text;
    qsizetype position = 0;
};

QByteArray withoutEnd(const QByteArray &line) {
    return line.endsWith(',') || line.endsWith(';') ? line.chopped(1) : line;
}

// Gives every parameter a random value in (0, 1), defines the variables from the file's own
// equations and sums the probabilities of all likelihood lines.
double sumOfCellProbabilities(const QByteArray &file, QRandomGenerator &random) {
    QHash<QByteArray, double> values;
    Evaluator evaluator(values);
    enum { Parameters, Variables, Likelihood } part = Parameters;
    double sum = 0;
    for (const QByteArray &line : file.split('\n')) {
        if (line.isEmpty() || line == "parameters" || line == "\"CJS Likelihood\"")
            continue;
        if (line == "variables" || line == "likelihood") {
            part = line == "variables" ? Variables : Likelihood;
            continue;
        }
        if (part == Parameters) {
            for (const QByteArray &item : withoutEnd(line).split(','))
                values.insert(item.trimmed(), 0.01 + 0.98 * random.generateDouble());
        } else if (part == Variables) {
            const qsizetype equals = line.indexOf(" = ");
            values.insert(line.left(equals), evaluator.evaluate(withoutEnd(line.mid(equals + 3))));
        } else {
            sum += evaluator.evaluate(withoutEnd(line.mid(line.indexOf(", ") + 2)));
        }
    }
    return sum;
}

} // namespace

class TestProbabilities : public QObject {
    Q_OBJECT

private slots:
    // The histories are all the outcomes of one released animal, so their probabilities,
    // read from the file itself, must add up to 1 whatever the parameter values.
    void cellProbabilitiesSumToOne_data() {
        QTest::addColumn<ModelOptions>("options");
        for (int n = 2; n <= 10; ++n) {
            QTest::addRow("N%d", n) << withPeriods(n);
            QTest::addRow("N%d_censoring", n) << withPeriods(n, true);
            ModelOptions shifted = withPeriods(n, n % 2 == 0);
            shifted.initialSurvivalIndex = 9;
            shifted.initialRelease = true;
            QTest::addRow("N%d_S0_9_release", n) << shifted;
        }
        for (int n = 2; n <= 8; ++n) {
            for (auto [name, options] : reducedModels(n)) {
                QTest::addRow("N%d_%s", n, name.constData()) << options;
                options.initialSurvivalIndex = 9;
                options.initialRelease = true;
                QTest::addRow("N%d_%s_S0_9_release", n, name.constData()) << options;
            }
        }
    }
    void cellProbabilitiesSumToOne() {
        QFETCH(ModelOptions, options);
        const QByteArray file = writtenBytes(options);
        QRandomGenerator random(quint32(options.numPeriods * 7919 + options.censoring));
        for (int draw = 0; draw < 20; ++draw) {
            const double sum = sumOfCellProbabilities(file, random);
            QVERIFY2(qAbs(sum - 1.0) < 1e-9, qPrintable(QString::number(sum, 'g', 17)));
        }
    }
};

QTEST_GUILESS_MAIN(TestProbabilities)
#include "tst_probabilities.moc"
