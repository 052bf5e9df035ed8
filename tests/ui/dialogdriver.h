// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

// What a message box showed when it came up.
struct SeenMessage {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QString informativeText;
    QString detailedText;
    QStringList buttons;
    QMessageBox::StandardButtons standardButtons;
    QString defaultButton;
    QString escapeButton;
    Qt::TextFormat textFormat = Qt::AutoText;
    Qt::TextFormat informativeTextFormat = Qt::AutoText; // of its label, when it has one
    bool fitsOnScreen = false; // the box within the screen, and each label's text all shown
};

// What a check's result window showed when it came up.
struct SeenResult {
    QString title;
    QString verdict;
    QString fileName;     // the whole path, as its line edit holds it
    QString counts;       // empty when hidden
    QStringList findings; // "line|column|kind|message"
    QString comparison;   // empty when hidden
    QString defaultButton;
    bool fitsOnScreen = false;
    bool closedByKey = false; // the driver's resultKey closed it
};

// A text as the analyst reads it: without the zero-width spaces that let a long name wrap.
QString asRead(QString text);

// Whether a dialog lies within its screen and each of its labels has room for all its text.
bool showsAllItsText(const QWidget *dialog);

// Answers the modal dialogs of the program while a test waits in a nested event loop: polls
// QApplication::activeModalWidget() from a timer, records what it sees and answers as told.
// Unexpected dialogs are recorded and closed, so that a test fails instead of hanging.
class DialogDriver : public QObject {
    Q_OBJECT

public:
    explicit DialogDriver(QObject *parent = nullptr);

    // Answers for the file dialogs to come (save or open), in order: a path to type, or an empty
    // string to cancel.
    QStringList saveAnswers;
    // The button to click in a message box that offers more than OK; empty: its escape button.
    QString messageAnswer;
    // The key that closes a check's result window, pressed where the focus is.
    Qt::Key resultKey = Qt::Key_Escape;
    // Whether to press Cancel in the progress dialog as soon as it shows.
    bool cancelProgress = false;
    // Called for any other modal dialog; it must close the dialog.
    std::function<void(QWidget *)> otherDialog;

    QList<SeenMessage> messages;
    QList<SeenResult> results;
    int overwriteConfirmations = 0;
    QStringList saveDialogDirectories;
    QStringList saveDialogTitles;
    QStringList saveDialogFilters;
    QStringList unexpected;
    int progressDialogsSeen = 0;
    QString progressTitle;
    QString progressLabel;

private:
    void poll();
    void answerSaveDialog(QWidget *dialog);
    void answerMessage(QMessageBox *box);
    void answerProgress(QWidget *dialog);
    void answerResult(QWidget *dialog);

    QTimer timer;
    QPointer<QWidget> answered;
};
