// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkresultdialog.h"

#include "messagetext.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using Kind = ModelCheckFinding::Kind;
using Verdict = ModelCheckResult::Verdict;

enum Column { LineColumn, ColumnColumn, KindColumn, MessageColumn };

bool isError(const ModelCheckFinding &finding) {
    return finding.severity == ModelCheckFinding::Severity::Error;
}

QLabel *newTextLabel(QWidget *parent, const char *name) {
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText); // names and findings are shown as typed
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

CheckResultDialog::CheckResultDialog(const QString &fileName, const ModelCheckResult &result,
                                     const QString &title, QWidget *parent)
    : QDialog(parent)
    , fileName(fileName)
    , result(result) {
    for (const ModelCheckFinding &finding : result.findings) {
        if (finding.kind != Kind::DiffersFromOptions)
            findings.append(finding);
        else if (!difference)
            difference = finding;
    }
    setupUi();
    retranslateUi();
    showResult();
    setWindowTitle(title);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(copyButton, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(reportText()); });
    connect(copyFindingsAction, &QAction::triggered, this,
            &CheckResultDialog::copySelectedFindings);
    fitOnScreen();
}

CheckResultDialog::~CheckResultDialog() = default;

void CheckResultDialog::setupUi() {
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("CheckResultDialog"));
    resize(640, 420);
    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verdictLabel = newTextLabel(this, "verdictLabel");
    verticalLayout->addWidget(verdictLabel);
    fileLayout = new QHBoxLayout();
    fileLayout->setObjectName(QStringLiteral("fileLayout"));
    fileLabel = new QLabel(this);
    fileLabel->setObjectName(QStringLiteral("fileLabel"));
    fileLayout->addWidget(fileLabel);
    fileNameLineEdit = new QLineEdit(this);
    fileNameLineEdit->setObjectName(QStringLiteral("fileNameLineEdit"));
    fileNameLineEdit->setReadOnly(true); // the whole path, to read and select
    fileLabel->setBuddy(fileNameLineEdit);
    fileLayout->addWidget(fileNameLineEdit);
    verticalLayout->addLayout(fileLayout);
    countsLabel = newTextLabel(this, "countsLabel");
    verticalLayout->addWidget(countsLabel);
    findingsTreeWidget = new QTreeWidget(this);
    findingsTreeWidget->setObjectName(QStringLiteral("findingsTreeWidget"));
    findingsTreeWidget->setColumnCount(4);
    findingsTreeWidget->setRootIsDecorated(false);
    findingsTreeWidget->setUniformRowHeights(true);
    findingsTreeWidget->setSelectionMode(QAbstractItemView::ExtendedSelection);
    findingsTreeWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
    copyFindingsAction = new QAction(findingsTreeWidget);
    copyFindingsAction->setObjectName(QStringLiteral("copyFindingsAction"));
    copyFindingsAction->setShortcut(QKeySequence::Copy);
    copyFindingsAction->setShortcutContext(Qt::WidgetShortcut);
    findingsTreeWidget->addAction(copyFindingsAction);
    verticalLayout->addWidget(findingsTreeWidget, 1);
    comparisonLabel = newTextLabel(this, "comparisonLabel");
    verticalLayout->addWidget(comparisonLabel);
    buttonBox = new QDialogButtonBox(this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setStandardButtons(QDialogButtonBox::Close);
    copyButton = buttonBox->addButton(QString(), QDialogButtonBox::ActionRole);
    copyButton->setObjectName(QStringLiteral("copyButton"));
    copyButton->setAutoDefault(false);
    QPushButton *closeButton = buttonBox->button(QDialogButtonBox::Close);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setDefault(true); // Enter closes the window
    verticalLayout->addWidget(buttonBox);

    setTabOrder(fileNameLineEdit, findingsTreeWidget);
    setTabOrder(findingsTreeWidget, copyButton);
    setTabOrder(copyButton, closeButton);
}

void CheckResultDialog::retranslateUi() {
    setWindowTitle(tr("CheckResultDialog"));
    fileLabel->setText(tr("File:"));
    findingsTreeWidget->setHeaderLabels({tr("Line"), tr("Column"), tr("Kind"), tr("Message")});
    copyButton->setText(tr("Co&py Report")); // "&Close" has Alt+C
    copyFindingsAction->setText(tr("Copy Findings"));
}

void CheckResultDialog::showResult() {
    const QLocale locale;
    const QString shownName = shownPath(fileName);
    fileNameLineEdit->setText(fileName);
    fileNameLineEdit->setCursorPosition(0);

    if (result.verdict == Verdict::Unreadable) {
        verdictLabel->setText(tr("\"%1\" could not be read: %2").arg(shownName, result.readError));
        countsLabel->hide();
        findingsTreeWidget->hide();
        comparisonLabel->hide();
        return;
    }

    const auto errors = std::count_if(findings.cbegin(), findings.cend(), isError);
    const qsizetype warnings = findings.size() - errors;
    if (errors > 0)
        verdictLabel->setText(tr("\"%1\" is not sound.").arg(shownName));
    else if (!difference)
        verdictLabel->setText(
            tr("\"%1\" is sound, and it is the file the form's current model would write.")
                .arg(shownName));
    else
        verdictLabel->setText(tr("\"%1\" is sound.").arg(shownName));

    countsLabel->setText(tr("Histories: %1. Warnings: %2. Errors: %3.")
                             .arg(locale.toString(qulonglong(result.histories)),
                                  locale.toString(warnings), locale.toString(qlonglong(errors))));

    for (const ModelCheckFinding &finding : findings) {
        auto *item = new QTreeWidgetItem(findingsTreeWidget);
        item->setText(LineColumn, locale.toString(finding.line));
        item->setText(ColumnColumn,
                      finding.column > 0 ? locale.toString(finding.column) : QString());
        item->setText(KindColumn, kindText(finding));
        item->setText(MessageColumn, finding.message);
        item->setToolTip(MessageColumn, finding.message);
    }
    findingsTreeWidget->setVisible(!findings.isEmpty());
    findingsTreeWidget->resizeColumnToContents(LineColumn);
    findingsTreeWidget->resizeColumnToContents(ColumnColumn);
    findingsTreeWidget->resizeColumnToContents(KindColumn);
    if (!findings.isEmpty())
        findingsTreeWidget->setCurrentItem(findingsTreeWidget->topLevelItem(0));

    // Whether the file is the form's: said by the verdict when it is, and by this line when
    // it is not (an unsound file never is).
    comparisonLabel->setVisible(difference.has_value());
    if (difference) {
        comparisonLabel->setText(tr("It is not the file the form's current model would write; "
                                    "the first difference is on line %1: %2")
                                     .arg(locale.toString(difference->line), difference->message));
    }
}

// Never larger than the screen's free area, whatever the findings hold; the list scrolls.
void CheckResultDialog::fitOnScreen() {
    const QScreen *screen =
        parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
    const QSize available = screen->availableGeometry().size();
    setMaximumSize(available);
    resize(size().boundedTo(available * 9 / 10));
}

QString CheckResultDialog::kindText(const ModelCheckFinding &finding) const {
    QString kind;
    switch (finding.kind) {
    case Kind::Syntax:
        kind = tr("syntax");
        break;
    case Kind::ParameterDeclaredTwice:
        kind = tr("parameter declared twice");
        break;
    case Kind::ParameterUnused:
        kind = tr("unused parameter");
        break;
    case Kind::NamesReadAlike:
        kind = tr("names that read alike");
        break;
    case Kind::ParameterDefinedAsVariable:
        kind = tr("parameter defined as a variable");
        break;
    case Kind::VariableDefinedTwice:
        kind = tr("variable defined twice");
        break;
    case Kind::VariableUsedEarly:
        kind = tr("variable used above its definition");
        break;
    case Kind::VariableDefinedByItself:
        kind = tr("variable defined by itself");
        break;
    case Kind::UndefinedName:
        kind = tr("undefined name");
        break;
    case Kind::HistoryLength:
        kind = tr("history length");
        break;
    case Kind::HistoryTwice:
        kind = tr("history listed twice");
        break;
    case Kind::HistorySymbol:
        kind = tr("history symbol out of place");
        break;
    case Kind::HistoryMissing:
        kind = tr("missing history");
        break;
    case Kind::BeyondLimits:
        kind = tr("beyond the check's limits");
        break;
    case Kind::CellOutOfRange:
        kind = tr("cell out of range");
        break;
    case Kind::CellsDoNotSumToOne:
        kind = tr("cells do not sum to 1");
        break;
    case Kind::DiffersFromOptions:
        kind = tr("differs from the form");
        break;
    }
    return isError(finding) ? tr("error: %1").arg(kind) : tr("warning: %1").arg(kind);
}

QString CheckResultDialog::reportText() const {
    QStringList lines{verdictLabel->text(), fileLabel->text() + u' ' + fileName};
    if (!countsLabel->isHidden())
        lines.append(countsLabel->text());
    for (const ModelCheckFinding &finding : findings)
        lines.append(formatFinding(finding));
    if (!comparisonLabel->isHidden())
        lines.append(comparisonLabel->text());
    return lines.join(u'\n') + u'\n';
}

// The selected rows, one finding a line, as the companion prints them.
void CheckResultDialog::copySelectedFindings() {
    QStringList lines;
    for (int row = 0; row < findingsTreeWidget->topLevelItemCount(); ++row) {
        if (findingsTreeWidget->topLevelItem(row)->isSelected())
            lines.append(formatFinding(findings.at(row)));
    }
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(u'\n') + u'\n');
}
