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
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace {

const QString DirectoryKey = QStringLiteral("modelDefinitionDirectory");

QSpacerItem *newHorizontalSpacer(int width) {
    return new QSpacerItem(width, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

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

void MainWidget::setupUi() {
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("MainWidget"));
    resize(490, 500);
    verticalLayout_4 = new QVBoxLayout(this);
    verticalLayout_4->setObjectName(QStringLiteral("verticalLayout_4"));
    setupNumPeriodsRow();
    setupNamesBox();
    setupCategoryBox();
    setupCensoringBox();
    setupSizeLine();
    setupButtonsBox();

    // Top to bottom, left to right, whatever order the parts were built in. The checkable
    // censoring box takes focus itself, for its check box, before the fields it enables.
    QWidget *const tabOrder[] = {numPeriodsSpinBox,
                                 survivalParameterLineEdit,
                                 constantSurvivalCheckBox,
                                 detectionParameterLineEdit,
                                 constantDetectionCheckBox,
                                 finalParameterLineEdit,
                                 noMoreDetectionsLineEdit,
                                 initialSurvivalIndexSpinBox,
                                 initialReleaseCheckBox,
                                 detectedSymbolLineEdit,
                                 notDetectedSymbolLineEdit,
                                 censoringGroupBox,
                                 censoringParameterLineEdit,
                                 constantCensoringCheckBox,
                                 censoredSymbolLineEdit,
                                 sizeLabel,
                                 createButton,
                                 exitButton};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void MainWidget::setupNumPeriodsRow() {
    horizontalLayout_4 = new QHBoxLayout();
    horizontalLayout_4->setObjectName(QStringLiteral("horizontalLayout_4"));
    horizontalLayout_3 = new QHBoxLayout();
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    horizontalLayout_3->addWidget(label);
    numPeriodsSpinBox = new QSpinBox(this);
    numPeriodsSpinBox->setObjectName(QStringLiteral("numPeriodsSpinBox"));
    numPeriodsSpinBox->setMinimum(2);
    // Each label is the buddy of the field it names, so that assistive tools announce the
    // field by it; the texts stay without mnemonics, as drawn.
    label->setBuddy(numPeriodsSpinBox);
    horizontalLayout_3->addWidget(numPeriodsSpinBox);
    horizontalLayout_4->addLayout(horizontalLayout_3);
    horizontalSpacer = newHorizontalSpacer(40);
    horizontalLayout_4->addItem(horizontalSpacer);
    verticalLayout_4->addLayout(horizontalLayout_4);
}

void MainWidget::setupNamesBox() {
    groupBox = new QGroupBox(this);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    verticalLayout_3 = new QVBoxLayout(groupBox);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    label_2 = new QLabel(groupBox);
    label_2->setObjectName(QStringLiteral("label_2"));
    verticalLayout->addWidget(label_2);
    label_3 = new QLabel(groupBox);
    label_3->setObjectName(QStringLiteral("label_3"));
    verticalLayout->addWidget(label_3);
    label_4 = new QLabel(groupBox);
    label_4->setObjectName(QStringLiteral("label_4"));
    verticalLayout->addWidget(label_4);
    label_9 = new QLabel(groupBox);
    label_9->setObjectName(QStringLiteral("label_9"));
    verticalLayout->addWidget(label_9);
    horizontalLayout->addLayout(verticalLayout);
    setupNameFields();
    label_2->setBuddy(survivalParameterLineEdit);
    label_3->setBuddy(detectionParameterLineEdit);
    label_4->setBuddy(finalParameterLineEdit);
    label_9->setBuddy(noMoreDetectionsLineEdit);
    horizontalLayout->addLayout(verticalLayout_2);
    verticalLayout_3->addLayout(horizontalLayout);
    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    label_8 = new QLabel(groupBox);
    label_8->setObjectName(QStringLiteral("label_8"));
    horizontalLayout_2->addWidget(label_8);
    initialSurvivalIndexSpinBox = new QSpinBox(groupBox);
    initialSurvivalIndexSpinBox->setObjectName(QStringLiteral("initialSurvivalIndexSpinBox"));
    label_8->setBuddy(initialSurvivalIndexSpinBox);
    horizontalLayout_2->addWidget(initialSurvivalIndexSpinBox);
    horizontalSpacer_2 = newHorizontalSpacer(40);
    horizontalLayout_2->addItem(horizontalSpacer_2);
    verticalLayout_3->addLayout(horizontalLayout_2);
    verticalLayout_4->addWidget(groupBox);
}

// The column of fields beside the labels of the names box.
void MainWidget::setupNameFields() {
    verticalLayout_2 = new QVBoxLayout();
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    // The names a reduced model makes the same for every interval or occasion carry the box
    // that does so on their own row, beside the field.
    survivalRowLayout = new QHBoxLayout();
    survivalRowLayout->setObjectName(QStringLiteral("survivalRowLayout"));
    survivalParameterLineEdit = new QLineEdit(groupBox);
    survivalParameterLineEdit->setObjectName(QStringLiteral("survivalParameterLineEdit"));
    survivalRowLayout->addWidget(survivalParameterLineEdit);
    constantSurvivalCheckBox = new QCheckBox(groupBox);
    constantSurvivalCheckBox->setObjectName(QStringLiteral("constantSurvivalCheckBox"));
    survivalRowLayout->addWidget(constantSurvivalCheckBox);
    verticalLayout_2->addLayout(survivalRowLayout);
    detectionRowLayout = new QHBoxLayout();
    detectionRowLayout->setObjectName(QStringLiteral("detectionRowLayout"));
    detectionParameterLineEdit = new QLineEdit(groupBox);
    detectionParameterLineEdit->setObjectName(QStringLiteral("detectionParameterLineEdit"));
    detectionRowLayout->addWidget(detectionParameterLineEdit);
    constantDetectionCheckBox = new QCheckBox(groupBox);
    constantDetectionCheckBox->setObjectName(QStringLiteral("constantDetectionCheckBox"));
    detectionRowLayout->addWidget(constantDetectionCheckBox);
    verticalLayout_2->addLayout(detectionRowLayout);
    finalParameterLineEdit = new QLineEdit(groupBox);
    finalParameterLineEdit->setObjectName(QStringLiteral("finalParameterLineEdit"));
    verticalLayout_2->addWidget(finalParameterLineEdit);
    noMoreDetectionsLineEdit = new QLineEdit(groupBox);
    noMoreDetectionsLineEdit->setObjectName(QStringLiteral("noMoreDetectionsLineEdit"));
    verticalLayout_2->addWidget(noMoreDetectionsLineEdit);
}

void MainWidget::setupCategoryBox() {
    groupBox_3 = new QGroupBox(this);
    groupBox_3->setObjectName(QStringLiteral("groupBox_3"));
    _5 = new QGridLayout(groupBox_3);
    _5->setObjectName(QStringLiteral("_5"));
    _6 = new QVBoxLayout();
    _6->setObjectName(QStringLiteral("_6"));
    initialReleaseCheckBox = new QCheckBox(groupBox_3);
    initialReleaseCheckBox->setObjectName(QStringLiteral("initialReleaseCheckBox"));
    _6->addWidget(initialReleaseCheckBox);
    _7 = new QHBoxLayout();
    _7->setObjectName(QStringLiteral("_7"));
    _8 = new QVBoxLayout();
    _8->setObjectName(QStringLiteral("_8"));
    label_7 = new QLabel(groupBox_3);
    label_7->setObjectName(QStringLiteral("label_7"));
    _8->addWidget(label_7);
    label_6 = new QLabel(groupBox_3);
    label_6->setObjectName(QStringLiteral("label_6"));
    _8->addWidget(label_6);
    _7->addLayout(_8);
    _9 = new QVBoxLayout();
    _9->setObjectName(QStringLiteral("_9"));
    detectedSymbolLineEdit = new QLineEdit(groupBox_3);
    detectedSymbolLineEdit->setObjectName(QStringLiteral("detectedSymbolLineEdit"));
    _9->addWidget(detectedSymbolLineEdit);
    notDetectedSymbolLineEdit = new QLineEdit(groupBox_3);
    notDetectedSymbolLineEdit->setObjectName(QStringLiteral("notDetectedSymbolLineEdit"));
    _9->addWidget(notDetectedSymbolLineEdit);
    label_7->setBuddy(detectedSymbolLineEdit);
    label_6->setBuddy(notDetectedSymbolLineEdit);
    _7->addLayout(_9);
    _6->addLayout(_7);
    _5->addLayout(_6, 0, 0, 1, 1);
    spacerItem = newHorizontalSpacer(71);
    _5->addItem(spacerItem, 0, 1, 1, 1);
    verticalLayout_4->addWidget(groupBox_3);
}

void MainWidget::setupCensoringBox() {
    censoringGroupBox = new QGroupBox(this);
    censoringGroupBox->setObjectName(QStringLiteral("censoringGroupBox"));
    censoringGroupBox->setCheckable(true);
    censoringGroupBox->setChecked(false);
    _2 = new QGridLayout(censoringGroupBox);
    _2->setObjectName(QStringLiteral("_2"));
    _3 = new QVBoxLayout();
    _3->setObjectName(QStringLiteral("_3"));
    label_5 = new QLabel(censoringGroupBox);
    label_5->setObjectName(QStringLiteral("label_5"));
    _3->addWidget(label_5);
    label_11 = new QLabel(censoringGroupBox);
    label_11->setObjectName(QStringLiteral("label_11"));
    _3->addWidget(label_11);
    _2->addLayout(_3, 0, 0, 1, 1);
    _4 = new QVBoxLayout();
    _4->setObjectName(QStringLiteral("_4"));
    censoringRowLayout = new QHBoxLayout();
    censoringRowLayout->setObjectName(QStringLiteral("censoringRowLayout"));
    censoringParameterLineEdit = new QLineEdit(censoringGroupBox);
    censoringParameterLineEdit->setObjectName(QStringLiteral("censoringParameterLineEdit"));
    censoringRowLayout->addWidget(censoringParameterLineEdit);
    constantCensoringCheckBox = new QCheckBox(censoringGroupBox);
    constantCensoringCheckBox->setObjectName(QStringLiteral("constantCensoringCheckBox"));
    censoringRowLayout->addWidget(constantCensoringCheckBox);
    _4->addLayout(censoringRowLayout);
    censoredSymbolLineEdit = new QLineEdit(censoringGroupBox);
    censoredSymbolLineEdit->setObjectName(QStringLiteral("censoredSymbolLineEdit"));
    _4->addWidget(censoredSymbolLineEdit);
    label_5->setBuddy(censoringParameterLineEdit);
    label_11->setBuddy(censoredSymbolLineEdit);
    _2->addLayout(_4, 0, 1, 1, 1);
    spacerItem1 = newHorizontalSpacer(40);
    _2->addItem(spacerItem1, 0, 2, 1, 1);
    verticalLayout_4->addWidget(censoringGroupBox);
}

// The size of the file the form describes, kept up to date as the form changes. Its width
// comes from the form: a long line wraps rather than widening the window. It can be selected
// and copied, also from the keyboard.
void MainWidget::setupSizeLine() {
    sizeLabel = new QLabel(this);
    sizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    sizeLabel->setTextFormat(Qt::PlainText);
    sizeLabel->setWordWrap(true);
    sizeLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    sizeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    sizeLabel->setFocusPolicy(Qt::StrongFocus); // reached by Tab, so the keyboard can copy it
    verticalLayout_4->addWidget(sizeLabel);
}

void MainWidget::setupButtonsBox() {
    groupBox_5 = new QGroupBox(this);
    groupBox_5->setObjectName(QStringLiteral("groupBox_5"));
    _11 = new QGridLayout(groupBox_5);
    _11->setObjectName(QStringLiteral("_11"));
    createButton = new QPushButton(groupBox_5);
    createButton->setObjectName(QStringLiteral("createButton"));
    _11->addWidget(createButton, 0, 0, 1, 1);
    exitButton = new QPushButton(groupBox_5);
    exitButton->setObjectName(QStringLiteral("exitButton"));
    _11->addWidget(exitButton, 0, 1, 1, 1);
    spacerItem2 = newHorizontalSpacer(40);
    _11->addItem(spacerItem2, 0, 2, 1, 1);
    verticalLayout_4->addWidget(groupBox_5);
}

void MainWidget::retranslateUi() {
    setWindowTitle(tr("Form"));
    label->setText(tr("Number of periods"));
    groupBox->setTitle(tr("Parameter/Symbol Names"));
    label_2->setText(tr("\"Survival\" parameter"));
    label_3->setText(tr("Detection parameter"));
    label_4->setText(tr("Final \"survival\" x detection parameter"));
    label_9->setText(tr("Probability of no detection after a given occasion"));
    survivalParameterLineEdit->setText(tr("s"));
    constantSurvivalCheckBox->setText(tr("Same for every interval"));
    detectionParameterLineEdit->setText(tr("p"));
    constantDetectionCheckBox->setText(tr("Same for every occasion"));
    finalParameterLineEdit->setText(tr("lambda"));
    noMoreDetectionsLineEdit->setText(tr("X"));
    label_8->setText(tr("Initial survival index"));
    groupBox_3->setTitle(tr("Category representation"));
    initialReleaseCheckBox->setText(tr("Include initial release as a \"detection\""));
    label_7->setText(tr("\"Detected\" symbol"));
    label_6->setText(tr("\"Not detected\" symbol"));
    detectedSymbolLineEdit->setText(tr("1"));
    notDetectedSymbolLineEdit->setText(tr("0"));
    censoringGroupBox->setTitle(tr("Include censoring"));
    label_5->setText(tr("Censoring parameter"));
    label_11->setText(tr("\"Censored\" symbol"));
    censoringParameterLineEdit->setText(tr("c"));
    constantCensoringCheckBox->setText(tr("Same for every occasion"));
    censoredSymbolLineEdit->setText(tr("2"));
    // Two boxes read "Same for every occasion"; assistive tools say which parameter each is for.
    constantSurvivalCheckBox->setAccessibleName(tr("Survival the same for every interval"));
    constantDetectionCheckBox->setAccessibleName(tr("Detection the same for every occasion"));
    constantCensoringCheckBox->setAccessibleName(tr("Censoring the same for every occasion"));
    createButton->setText(tr("Create Model Definition File..."));
    exitButton->setText(tr("Exit"));
}

// The survival and detection fields end where their boxes begin; boxes of one width keep the
// two fields equally long, whatever the boxes' texts.
void MainWidget::alignConstantBoxes() {
    const int width = std::max(constantSurvivalCheckBox->sizeHint().width(),
                               constantDetectionCheckBox->sizeHint().width());
    constantSurvivalCheckBox->setMinimumWidth(width);
    constantDetectionCheckBox->setMinimumWidth(width);
}

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
