// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modeldefinitioncheck.h"

#include <QDialog>
#include <QString>

#include <optional>

class QAction;
class QDialogButtonBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

// What the check found in a file, in one window: the verdict in words, the counts, the
// findings (line, column, kind, message) and whether the file is the one the form's current
// model would write. Everything is plain text; the findings and the whole report can be copied.
class CheckResultDialog : public QDialog {
    Q_OBJECT

public:
    CheckResultDialog(const QString &fileName, const ModelCheckResult &result, const QString &title,
                      QWidget *parent = nullptr);
    ~CheckResultDialog() override;

    // The report as Copy puts it on the clipboard: the verdict, the file's whole path, the
    // counts, one line per finding and the comparison with the form.
    QString reportText() const;

private:
    void setupUi();
    void retranslateUi();
    void showResult();
    void fitOnScreen();
    void copySelectedFindings();
    QString kindText(const ModelCheckFinding &finding) const;

    const QString fileName;
    const ModelCheckResult result;
    QList<ModelCheckFinding> findings;           // all but the comparison's
    std::optional<ModelCheckFinding> difference; // the first line that differs from the form's

    QVBoxLayout *verticalLayout = nullptr;
    QLabel *verdictLabel = nullptr;
    QHBoxLayout *fileLayout = nullptr;
    QLabel *fileLabel = nullptr;
    QLineEdit *fileNameLineEdit = nullptr;
    QLabel *countsLabel = nullptr;
    QTreeWidget *findingsTreeWidget = nullptr;
    QLabel *comparisonLabel = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QPushButton *copyButton = nullptr;
    QAction *copyFindingsAction = nullptr;
};
