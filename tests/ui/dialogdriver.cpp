// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogdriver.h"

#include "checkresultdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

QString asRead(QString text) {
    return text.remove(QChar(0x200B));
}

bool showsAllItsText(const QWidget *dialog) {
    if (!dialog->screen()->availableGeometry().contains(dialog->frameGeometry()))
        return false;
    const auto labels = dialog->findChildren<QLabel *>();
    for (const QLabel *label : labels) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const int needed =
            label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        if (needed > label->height() || label->minimumSizeHint().width() > label->width())
            return false;
    }
    return true;
}

DialogDriver::DialogDriver(QObject *parent)
    : QObject(parent) {
    connect(&timer, &QTimer::timeout, this, &DialogDriver::poll);
    timer.start(20);
}

void DialogDriver::poll() {
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == answered)
        return;

    if (qobject_cast<QFileDialog *>(modal)) {
        answered = modal;
        answerSaveDialog(modal);
    } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        answered = modal;
        answerMessage(box);
    } else if (qobject_cast<QProgressDialog *>(modal)) {
        answerProgress(modal);
    } else if (qobject_cast<CheckResultDialog *>(modal)) {
        answered = modal;
        answerResult(modal);
    } else if (otherDialog) {
        answered = modal;
        otherDialog(modal);
    } else {
        answered = modal;
        unexpected.append(QString::fromLatin1(modal->metaObject()->className()));
        modal->close();
    }
}

void DialogDriver::answerSaveDialog(QWidget *widget) {
    auto *dialog = static_cast<QFileDialog *>(widget);
    saveDialogDirectories.append(dialog->directory().absolutePath());
    saveDialogTitles.append(dialog->windowTitle());
    saveDialogFilters.append(dialog->nameFilters().join(QStringLiteral(";;"))
                             + QStringLiteral(" | ") + dialog->selectedNameFilter());
    const QString answer = saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    if (answer.isEmpty()) {
        dialog->reject();
        return;
    }
    auto *fileNameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (!fileNameEdit) {
        unexpected.append(QStringLiteral("QFileDialog without fileNameEdit"));
        dialog->reject();
        return;
    }
    fileNameEdit->setText(answer);
    // Queued: accepting may ask before replacing a file, in a message box that this timer,
    // still busy here, could never answer.
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
}

void DialogDriver::answerMessage(QMessageBox *box) {
    // The save dialog's own question before it replaces a file.
    if (qobject_cast<QFileDialog *>(box->parentWidget())) {
        if (QAbstractButton *yes = box->button(QMessageBox::Yes)) {
            ++overwriteConfirmations;
            yes->click();
        } else {
            unexpected.append(QStringLiteral("file dialog: ") + box->text());
            box->escapeButton()->click();
        }
        return;
    }

    SeenMessage seen;
    seen.icon = box->icon();
    seen.title = box->windowTitle();
    seen.text = asRead(box->text());
    seen.informativeText = asRead(box->informativeText());
    seen.detailedText = box->detailedText();
    seen.standardButtons = box->standardButtons();
    for (QAbstractButton *button : box->buttons()) {
        if (box->buttonRole(button) != QMessageBox::ActionRole || box->detailedText().isEmpty())
            seen.buttons.append(button->text()); // not the one that shows the details
    }
    if (box->defaultButton())
        seen.defaultButton = box->defaultButton()->text();
    if (box->escapeButton())
        seen.escapeButton = box->escapeButton()->text();
    seen.textFormat = box->textFormat();
    seen.fitsOnScreen = showsAllItsText(box);
    if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        seen.informativeTextFormat = label->textFormat();
    messages.append(seen);

    QAbstractButton *answer = box->escapeButton();
    for (QAbstractButton *button : box->buttons()) {
        if (!messageAnswer.isEmpty() && button->text() == messageAnswer)
            answer = button;
    }
    if (!answer)
        answer = box->buttons().value(0);
    answer->click();
}

void DialogDriver::answerProgress(QWidget *widget) {
    auto *dialog = static_cast<QProgressDialog *>(widget);
    answered = widget;
    ++progressDialogsSeen;
    progressTitle = dialog->windowTitle();
    progressLabel = asRead(dialog->labelText());
    if (!cancelProgress)
        return;
    if (auto *cancel = dialog->findChild<QPushButton *>())
        cancel->click();
}

// Records what the window shows and closes it from the keyboard, as the analyst would.
void DialogDriver::answerResult(QWidget *dialog) {
    SeenResult seen;
    seen.title = dialog->windowTitle();
    const auto shown = [dialog](const char *name) {
        auto *label = dialog->findChild<QLabel *>(QLatin1String(name));
        return label && !label->isHidden() ? label->text() : QString();
    };
    seen.verdict = shown("verdictLabel");
    seen.counts = shown("countsLabel");
    seen.comparison = shown("comparisonLabel");
    seen.fileName = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"))->text();
    auto *tree = dialog->findChild<QTreeWidget *>(QStringLiteral("findingsTreeWidget"));
    for (int row = 0; !tree->isHidden() && row < tree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = tree->topLevelItem(row);
        seen.findings.append(
            QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(u'|'));
    }
    for (const QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->isDefault())
            seen.defaultButton = button->text();
    }
    seen.fitsOnScreen = showsAllItsText(dialog);
    QWidget *focus = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QKeyEvent press(QEvent::KeyPress, resultKey, Qt::NoModifier);
    QCoreApplication::sendEvent(focus, &press);
    seen.closedByKey = !dialog->isVisible();
    if (dialog->isVisible())
        dialog->close();
    results.append(seen);
}
