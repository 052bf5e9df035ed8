// SPDX-License-Identifier: GPL-3.0-or-later
#include "optionscheck.h"

#include "findings.h"

#include <QCoreApplication>
#include <QIODevice>

#include <functional>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ModelDefinitionCheck", text);
}

} // namespace

// A device that passes on the bytes of another as they are read, and shows them to an
// observer: the comparison with the writer sees every block once, as the reader takes it.
class OptionsCheck::ObservedDevice : public QIODevice {
public:
    ObservedDevice(QIODevice &source, std::function<void(QByteArrayView)> observer)
        : source(source)
        , observer(std::move(observer)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    bool waitForReadyRead(int msecs) override { return source.waitForReadyRead(msecs); }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        const qint64 got = source.read(data, maxSize);
        if (got > 0)
            observer(QByteArrayView(data, got));
        else if (got < 0)
            setErrorString(source.errorString());
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice &source;
    std::function<void(QByteArrayView)> observer;
};

OptionsCheck::OptionsCheck(Findings &findings, const ModelOptions &options, QIODevice &source)
    : findings(findings)
    , comparison(options)
    , observed(std::make_unique<ObservedDevice>(
          source, [this](QByteArrayView bytes) { comparison.compare(bytes); })) {}

OptionsCheck::~OptionsCheck() = default;

QIODevice &OptionsCheck::device() {
    return *observed;
}

void OptionsCheck::finish(bool fileEnded) {
    if (fileEnded)
        comparison.finish();
    const std::optional<WriterComparison::Difference> difference = comparison.difference();
    if (!difference)
        return;
    findings.add(ModelCheckFinding::Kind::DiffersFromOptions, difference->line,
                 tr("this line is not the one written for the given options: from column "
                    "%1 on, expected %2, found %3.")
                     .arg(difference->column)
                     .arg(difference->expected, difference->found),
                 difference->column);
}
