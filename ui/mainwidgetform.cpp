// SPDX-License-Identifier: GPL-3.0-or-later
// MainWidget's widgets: how the form is built, laid out and labelled. What the form does is in
// mainwidget.cpp.
#include "mainwidget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QSpacerItem *newHorizontalSpacer(int width) {
    return new QSpacerItem(width, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

} // namespace

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
