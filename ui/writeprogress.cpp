// SPDX-License-Identifier: GPL-3.0-or-later
#include "writeprogress.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace {

constexpr int Steps = 1000;

int step(quint64 linesWritten, quint64 totalLines) {
    if (totalLines == 0 || linesWritten >= totalLines)
        return Steps;
    return int(double(linesWritten) / double(totalLines) * Steps);
}

} // namespace

WriteProgress::WriteProgress(QWidget *parent, const QString &title, const QString &fileName)
    : dialog(new QProgressDialog(parent)) {
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setWindowTitle(title);
    dialog->setLabelText(tr("Writing model definition file \"%1\"...").arg(fileName));
    dialog->setRange(0, Steps);
    dialog->setMinimumDuration(500);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    // Escape closes a dialog without the canceled() signal; it must stop the writing too.
    QObject::connect(dialog, &QDialog::rejected, dialog, [this] { cancelled = true; });
    dialog->setValue(0);
    sinceUpdate.start();
}

WriteProgress::~WriteProgress() {
    delete dialog;
}

ModelDefinitionWriter::Progress WriteProgress::callback() {
    return [this](quint64 linesWritten, quint64 totalLines) {
        return update(linesWritten, totalLines);
    };
}

bool WriteProgress::wasCancelled() const {
    return cancelled || (dialog && dialog->wasCanceled());
}

// setValue() shows the dialog once the writing looks long and, while it is shown, processes
// the events that repaint it and deliver a click on Cancel. It does nothing when the value
// stays the same, which on a slow device or a huge file can last several updates.
bool WriteProgress::update(quint64 linesWritten, quint64 totalLines) {
    if (dialog && !wasCancelled() && sinceUpdate.elapsed() >= UpdateInterval) {
        const int value = step(linesWritten, totalLines);
        if (value != dialog->value())
            dialog->setValue(value);
        else if (dialog->isVisible())
            QCoreApplication::processEvents();
        sinceUpdate.restart();
    }
    return !wasCancelled();
}
