// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwidget.h"

#include "checkjob.h"
#include "checkprogress.h"
#include "checkresultdialog.h"
#include "messagetext.h"
#include "sizeline.h"

#include "modeldefinitionsize.h"
#include "modelfilesaver.h"
#include "modeloptions.h"
#include "modeltext.h"
#include "modelvalidation.h"
#include "outputtarget.h"
#include "savejob.h"
#include "splitpath.h"
#include "writeprogress.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace {

const QString DirectoryKey = QStringLiteral("modelDefinitionDirectory");

void showMessage(QWidget *parent, const QString &title, QMessageBox::Icon icon, const QString &text,
                 const QString &informativeText = QString(), const QString &details = QString()) {
    QMessageBox box(icon, title, wrappable(text), QMessageBox::Ok, parent);
    box.setInformativeText(wrappable(informativeText));
    box.setDetailedText(details);
    makePlainText(box);
    box.exec();
}

QString storedDirectory(const QSettings &settings) {
    return settings.value(DirectoryKey, QStringLiteral(".")).toString();
}

// The file's directory becomes the one the dialogs open in next time, if it is one.
void rememberDirectoryOf(const QString &fileName, QSettings &settings) {
    const QString directory = splitPath(fileName).directory;
    if (directory != storedDirectory(settings) && QFileInfo(directory).isDir())
        settings.setValue(DirectoryKey, directory);
}

// A reason as the saver gives it ("it is a directory") at the start of a sentence.
QString asSentence(QString reason) {
    if (!reason.isEmpty())
        reason[0] = reason.at(0).toUpper();
    return reason;
}

// Outside Windows "*.*" only matches names with a dot, and no extension is added to a name
// typed without one: such a file must still show under "All Files".
QString allFilesFilter() {
#ifdef Q_OS_WIN
    return MainWidget::tr("All Files (*.*)");
#else
    return MainWidget::tr("All Files (*)");
#endif
}

QString fileFilter() {
    return MainWidget::tr("Text Files (*.txt)") + QStringLiteral(";;") + allFilesFilter();
}

} // namespace

MainWidget::MainWidget(QString title, QWidget *parent)
    : QWidget(parent)
    , title(std::move(title)) {
    setupUi();
    retranslateUi();
    alignConstantBoxes();
    connectSignals();
    updateSizeLine();
    setWindowTitle(this->title);
}

MainWidget::~MainWidget() = default;

void MainWidget::connectSignals() {
    connect(createButton, &QPushButton::clicked, this, &MainWidget::onCreateModelDefinition);
    connect(exitButton, &QPushButton::clicked, this, &MainWidget::exitClicked);
    connect(constantSurvivalCheckBox, &QCheckBox::toggled, this, &MainWidget::enableFieldsInUse);
    connect(constantDetectionCheckBox, &QCheckBox::toggled, this, &MainWidget::enableFieldsInUse);

    // Every input of the form, whatever inputs it has, changes the size line.
    for (QSpinBox *spinBox : findChildren<QSpinBox *>())
        connect(spinBox, &QSpinBox::valueChanged, this, &MainWidget::updateSizeLine);
    for (QLineEdit *lineEdit : findChildren<QLineEdit *>()) {
        if (!qobject_cast<QAbstractSpinBox *>(lineEdit->parentWidget()))
            connect(lineEdit, &QLineEdit::textChanged, this, &MainWidget::updateSizeLine);
    }
    for (QCheckBox *checkBox : findChildren<QCheckBox *>())
        connect(checkBox, &QCheckBox::toggled, this, &MainWidget::updateSizeLine);
    for (QGroupBox *box : findChildren<QGroupBox *>())
        connect(box, &QGroupBox::toggled, this, &MainWidget::updateSizeLine);
}

// The figures of --stats, and whether the file fits on the volume of the remembered directory,
// where the save dialog opens.
void MainWidget::updateSizeLine() {
    const ModelDefinitionSize size = modelDefinitionSize(readOptions(), NativeNewlineLength);
    const QLocale locale;
    QString text = sizeLineText(size, locale);

    const QString directory = QFileInfo(storedDirectory(QSettings())).absoluteFilePath();
    OutputTarget place;
    place.path = QDir(directory).filePath(QStringLiteral("model.txt"));
    const FreeSpace space = freeSpaceFor(place, size.bytes);
    QPalette palette = this->palette();
    if (space.fits()) {
        sizeLabel->setToolTip(QString());
    } else {
        text +=
            u'\n'
            + tr("It does not fit in \"%1\": only %2 are free there.")
                  .arg(shortenedInTheMiddle(directory, LongestRun),
                       humanReadableSize(quint64(std::max<qint64>(space.available, 0)), locale));
        sizeLabel->setToolTip(directory);
        palette.setColor(QPalette::WindowText, warningColour(palette));
    }
    sizeLabel->setPalette(palette);
    sizeLabel->setText(text);
}

// A field the file would not use is disabled, label and all, as the censoring box does with
// its own; its text stays for when it counts again.
void MainWidget::enableFieldsInUse() {
    const ModelOptions options = readOptions();
    label_8->setEnabled(!options.constantSurvival);
    initialSurvivalIndexSpinBox->setEnabled(!options.constantSurvival);
    label_4->setEnabled(!ModelText::finalIsProduct(options));
    finalParameterLineEdit->setEnabled(!ModelText::finalIsProduct(options));
}

// The inputs are checked before the save dialog opens, so that a refused model costs the
// analyst neither a file name nor a change of the remembered directory. The save itself runs
// on a worker; the form's values are copied first, so later edits do not reach the file.
void MainWidget::onCreateModelDefinition() {
    if (saveJob)
        return; // one file at a time; the progress dialog shows the one under way
    const ModelOptions options = readOptions();
    if (!acceptInputs(options))
        return;

    QSettings settings;
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Create Model Definition File"),
                                                          storedDirectory(settings), fileFilter());
    if (fileName.isEmpty())
        return;

    // A device or a FIFO is no place for files, and a directory that does not exist (or a
    // file's path) would open the next dialog in the wrong place with a wrong name filled in.
    const OutputTarget target = resolveOutputTarget(fileName);
    if (target.kind == OutputTarget::Kind::File) {
        rememberDirectoryOf(fileName, settings);
        updateSizeLine();
    }
    if (target.kind == OutputTarget::Kind::Refused) {
        message(QMessageBox::Critical, tr("Unable to create file \"%1\"").arg(shownPath(fileName)),
                fileName, tr("%1. Nothing was written.").arg(asSentence(target.problem)));
        return;
    }
    if (fitsOnVolume(target, options))
        startSave(target, options);
}

bool MainWidget::isWriting() const {
    return saveJob != nullptr;
}

bool MainWidget::isChecking() const {
    return checkJob != nullptr;
}

// The file is checked on a worker, against the form's model as it is now; only a regular file
// moves the remembered directory.
void MainWidget::onCheckModelDefinition() {
    if (saveJob || checkJob)
        return;
    QSettings settings;
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Check Model Definition File"),
                                                          storedDirectory(settings), fileFilter());
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).isFile()) {
        rememberDirectoryOf(fileName, settings);
        updateSizeLine();
    }
    startCheck(fileName);
}

void MainWidget::startCheck(const QString &fileName) {
    checkJob = new CheckJob(fileName, readOptions(), this);
    auto *progress = CheckProgress::isWanted(fileName)
                         ? new CheckProgress(checkJob, this, title, fileName)
                         : nullptr;
    connect(checkJob, &CheckJob::finished, this, [this, progress, fileName] {
        if (progress)
            progress->end();
        const ModelCheckResult result = checkJob->result();
        delete checkJob;
        if (result.verdict != ModelCheckResult::Verdict::Cancelled) {
            CheckResultDialog dialog(fileName, result, title, this);
            dialog.exec();
        }
        checkJob = nullptr; // only now: the result window is part of the check
        emit checkFinished();
    });
    checkJob->start();
}

// A message about a file, its name shown as dialogs show paths; a name shortened there is
// given whole in the box's details.
void MainWidget::message(QMessageBox::Icon icon, const QString &text, const QString &fileName,
                         const QString &informativeText) {
    showMessage(this, title, icon, text, informativeText,
                shownPath(fileName) == fileName ? QString() : fileName);
}

ModelOptions MainWidget::readOptions() const {
    ModelOptions options;
    options.numPeriods = numPeriodsSpinBox->value();
    options.survivalParameter = survivalParameterLineEdit->text();
    options.detectionParameter = detectionParameterLineEdit->text();
    options.finalParameter = finalParameterLineEdit->text();
    options.noMoreDetections = noMoreDetectionsLineEdit->text();
    options.initialSurvivalIndex = initialSurvivalIndexSpinBox->value();
    options.detectedSymbol = detectedSymbolLineEdit->text();
    options.notDetectedSymbol = notDetectedSymbolLineEdit->text();
    options.censoring = censoringGroupBox->isChecked();
    options.censoringParameter = censoringParameterLineEdit->text();
    options.censoredSymbol = censoredSymbolLineEdit->text();
    options.initialRelease = initialReleaseCheckBox->isChecked();
    options.constantSurvival = constantSurvivalCheckBox->isChecked();
    options.constantDetection = constantDetectionCheckBox->isChecked();
    options.constantCensoring = constantCensoringCheckBox->isChecked();
    return options;
}

QString MainWidget::fieldLabel(ModelField field) const {
    switch (field) {
    case ModelField::SurvivalParameter:
        return label_2->text();
    case ModelField::DetectionParameter:
        return label_3->text();
    case ModelField::FinalParameter:
        return label_4->text();
    case ModelField::NoMoreDetections:
        return label_9->text();
    case ModelField::DetectedSymbol:
        return label_7->text();
    case ModelField::NotDetectedSymbol:
        return label_6->text();
    case ModelField::CensoringParameter:
        return label_5->text();
    case ModelField::CensoredSymbol:
        return label_11->text();
    }
    return QString();
}

QString MainWidget::describe(const QList<ModelFinding> &findings, int longestText) const {
    QStringList sentences;
    for (const ModelFinding &finding : findings) {
        sentences.append(describeFinding(
            finding, [this](ModelField f) { return fieldLabel(f); }, longestText));
    }
    return sentences.join(QStringLiteral("\n\n"));
}

// A box about the form's texts shows each of them shortened in the middle, so that a name of
// thousands of characters leaves the box on the screen; the whole sentences are in its
// details then.
MainWidget::FindingTexts MainWidget::findingTexts(const QList<ModelFinding> &findings) const {
    const QString whole = describe(findings, std::numeric_limits<int>::max());
    const QString shown = describe(findings, LongestShownText);
    return {shown, shown == whole ? QString() : whole};
}

// Refuses texts that would break the file; lets the analyst decide about texts that only make
// a doubtful model.
bool MainWidget::acceptInputs(const ModelOptions &options) {
    QList<ModelFinding> findings = validateModel(options);
    const auto firstWarning = std::stable_partition(
        findings.begin(), findings.end(), [](const ModelFinding &f) { return f.isRefusal(); });
    const QList<ModelFinding> refusals(findings.begin(), firstWarning);
    if (!refusals.isEmpty()) {
        const FindingTexts texts = findingTexts(refusals);
        showMessage(this, title, QMessageBox::Critical, texts.shown, tr("Nothing was written."),
                    texts.details);
        return false;
    }
    if (findings.isEmpty())
        return true;

    const FindingTexts texts = findingTexts(findings);
    QMessageBox box(QMessageBox::Warning, title, wrappable(texts.shown), QMessageBox::NoButton,
                    this);
    box.setInformativeText(tr("Write the file anyway?"));
    box.setDetailedText(texts.details);
    makePlainText(box);
    QPushButton *writeButton = box.addButton(tr("Write anyway"), QMessageBox::AcceptRole);
    QPushButton *cancelButton = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancelButton);
    box.setEscapeButton(cancelButton);
    box.exec();
    return box.clickedButton() == writeButton;
}

// The file doubles with every period, so a file that cannot fit is refused before anything
// is written rather than discovered when the disk is full.
bool MainWidget::fitsOnVolume(const OutputTarget &target, const ModelOptions &options) {
    const ModelDefinitionSize size = modelDefinitionSize(options, NativeNewlineLength);
    const FreeSpace space = freeSpaceFor(target, size.bytes);
    if (space.fits())
        return true;
    const auto [needed, available] =
        distinctSizes(space.needed, quint64(std::max<qint64>(space.available, 0)));
    message(QMessageBox::Critical,
            tr("Not enough free space for file \"%1\"").arg(shownPath(target.name)), target.name,
            tr("The file would take %1, but only %2 are free there. Nothing was written.")
                .arg(needed, available));
    return false;
}

void MainWidget::startSave(const OutputTarget &target, const ModelOptions &options) {
    saveJob = new SaveJob(target, options, this);
    auto *progress = new WriteProgress(saveJob, this, title, target.name);
    connect(saveJob, &SaveJob::finished, this, [this, progress, fileName = target.name] {
        progress->end();
        const SaveResult result = saveJob->result();
        delete saveJob;
        reportSave(fileName, result);
        saveJob = nullptr; // only now: the outcome's message box is part of the save
        updateSizeLine();  // the volume has less room now
        emit saveFinished();
    });
    saveJob->start();
}

void MainWidget::reportSave(const QString &fileName, const SaveResult &result) {
    switch (result.status) {
    case SaveResult::Status::Saved:
        message(QMessageBox::Information,
                tr("TARSK 4 Model Definition file \"%1\" created.").arg(shownPath(fileName)),
                fileName);
        break;
    case SaveResult::Status::OpenFailed:
        message(QMessageBox::Critical, tr("Unable to create file \"%1\"").arg(shownPath(fileName)),
                fileName, asSentence(result.errorString));
        break;
    case SaveResult::Status::WriteFailed:
        message(QMessageBox::Critical,
                tr("Unable to write file \"%1\": %2").arg(shownPath(fileName), result.errorString),
                fileName,
                tr("The file was not created; any earlier file of that name is unchanged."));
        break;
    case SaveResult::Status::Cancelled:
        break;
    }
}
