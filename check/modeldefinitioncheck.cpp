// SPDX-License-Identifier: GPL-3.0-or-later
#include "modeldefinitioncheck.h"

#include "findings.h"
#include "historycheck.h"
#include "modeldefinitionreader.h"
#include "namecheck.h"
#include "observeddevice.h"
#include "optionscheck.h"
#include "probabilitycheck.h"

#include <memory>

namespace {

using CheckText::tr;

// Reads the file item by item and hands each item, and the parts of it that the reader streams,
// to the checks that concern it. The checks know nothing of each other: whether a name has a
// value, which the probabilities need, comes from the name check through here.
class ModelCheck : public ModelDefinitionReader::Receiver {
public:
    ModelCheck(const ModelCheckSettings &settings, QIODevice &device)
        : progress(observeProgress(settings, device))
        , options(settings.expected ? std::make_unique<OptionsCheck>(findings, *settings.expected,
                                                                     progressed(device))
                                    : nullptr)
        , reader(options ? options->device() : progressed(device), this)
        , names(findings, reader)
        , histories(findings, settings.historyMapBytes)
        , probabilities(findings, settings.seed, settings.draws) {}

    ModelCheckResult run() {
        for (;;) {
            const ModelDefinitionReader::Item item = reader.readNext();
            makeRoomForNames();
            switch (item) {
            case ModelDefinitionReader::Item::Section:
                readSection();
                break;
            case ModelDefinitionReader::Item::Parameter:
                readParameter();
                break;
            case ModelDefinitionReader::Item::Variable:
                readVariable();
                break;
            case ModelDefinitionReader::Item::Title:
                break;
            case ModelDefinitionReader::Item::History:
                readHistory();
                break;
            case ModelDefinitionReader::Item::End:
                finishChecks();
                return finished();
            case ModelDefinitionReader::Item::Error:
                readError();
                return finished();
            }
        }
    }

    // ---- What the reader streams ----

    void beginVariable(int name, qint64 line, qint64 column) override {
        makeRoomForNames();
        names.beginVariable(name, line, column);
        probabilities.beginVariable();
    }

    void beginHistory(qint64 line, qint64 column, qsizetype keptSymbols) override {
        histories.beginRow(line, column, keptSymbols);
        historyLine = line;
    }

    void historySymbol(QByteArrayView symbol, qint64 column) override {
        histories.addSymbol(symbol, column);
    }

    void beginProduct(qsizetype keptSteps) override {
        histories.endRow();
        names.beginProduct(historyLine, keptSteps);
        probabilities.beginProduct(keptSteps);
    }

    void expressionSteps(const ExpressionStep *steps, qsizetype count) override {
        makeRoomForNames(); // the steps may hold names met just now
        names.useInExpression(steps, count);
        probabilities.addSteps(steps, count);
    }

private:
    // Shows the caller every block read, with the count so far and the file's size (-1 when
    // it is unknown, as for a pipe).
    static std::unique_ptr<ObservedDevice> observeProgress(const ModelCheckSettings &settings,
                                                           QIODevice &device) {
        if (!settings.progress)
            return nullptr;
        const qint64 totalBytes = device.isSequential() ? -1 : device.size();
        return std::make_unique<ObservedDevice>(
            device, [report = settings.progress, totalBytes,
                     bytesRead = qint64(0)](QByteArrayView bytes) mutable {
                bytesRead += bytes.size();
                return report(bytesRead, totalBytes);
            });
    }

    QIODevice &progressed(QIODevice &device) const { return progress ? *progress : device; }

    void makeRoomForNames() {
        names.makeRoomFor(reader.nameCount());
        probabilities.makeRoomFor(reader.nameCount());
    }

    void readSection() {
        if (reader.section() == ModelDefinitionReader::Section::Likelihood) {
            likelihoodLine = reader.line();
            names.closeVariables();
            probabilities.closeVariables();
        }
    }

    void readParameter() {
        if (names.declareParameter(reader.name(), reader.line(), reader.column()))
            probabilities.drawParameter(reader.name());
    }

    void readVariable() {
        const NameCheck::Definition definition = names.endVariable();
        probabilities.endVariable(reader.name(), definition.givesValue, definition.evaluable);
    }

    void readHistory() {
        ++historyCount;
        probabilities.endHistory(reader.line(), names.endHistory());
    }

    void finishChecks() {
        names.finish();
        histories.finish(likelihoodLine);
        probabilities.finish(likelihoodLine);
        if (options)
            options->finish(true);
    }

    void readError() {
        switch (reader.error()) {
        case ModelDefinitionReader::Error::Device:
            unreadable = true;
            readErrorText = reader.errorString();
            return;
        case ModelDefinitionReader::Error::Limit:
            findings.add(ModelCheckFinding::Kind::BeyondLimits, reader.errorLine(),
                         reader.errorString(), reader.errorColumn());
            break;
        default:
            findings.add(ModelCheckFinding::Kind::Syntax, reader.errorLine(), reader.errorString(),
                         reader.errorColumn());
            break;
        }
        histories.finish(likelihoodLine, false);
        if (options)
            options->finish(reader.atEnd());
    }

    ModelCheckResult finished() const {
        ModelCheckResult result;
        result.histories = historyCount;
        result.readError = readErrorText;
        result.findings = findings.byLine();
        result.balancedDraw = probabilities.madeBalancedDraw();
        if (progress && progress->wasStopped())
            result.verdict = ModelCheckResult::Verdict::Cancelled;
        else if (unreadable)
            result.verdict = ModelCheckResult::Verdict::Unreadable;
        else if (findings.hasErrors())
            result.verdict = ModelCheckResult::Verdict::Unsound;
        else
            result.verdict = ModelCheckResult::Verdict::Sound;
        return result;
    }

    Findings findings;
    std::unique_ptr<ObservedDevice> progress; // when the settings ask for progress
    std::unique_ptr<OptionsCheck> options;    // when the settings give options
    ModelDefinitionReader reader;
    NameCheck names;
    HistoryCheck histories;
    ProbabilityCheck probabilities;
    qint64 likelihoodLine = 0;
    qint64 historyLine = 0;
    quint64 historyCount = 0; // read before the check ended
    bool unreadable = false;
    QString readErrorText;
};

} // namespace

ModelCheckResult checkModelDefinition(QIODevice &device, const ModelCheckSettings &settings) {
    return ModelCheck(settings, device).run();
}

QString formatFinding(const ModelCheckFinding &finding) {
    const QString severity =
        finding.severity == ModelCheckFinding::Severity::Error ? tr("error") : tr("warning");
    if (finding.column > 0) {
        return tr("line %1, column %2: %3: %4")
            .arg(finding.line)
            .arg(finding.column)
            .arg(severity, finding.message);
    }
    return tr("line %1: %2: %3").arg(finding.line).arg(severity, finding.message);
}
