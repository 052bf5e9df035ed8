// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QWidget>

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpacerItem;
class QSpinBox;
class QVBoxLayout;
enum class ModelField;
struct ModelFinding;
struct ModelOptions;
struct OutputTarget;
struct ModelCheckResult;
struct SaveResult;
class CheckJob;
class SaveJob;

// The model form: every input of a model definition file, and the buttons that write the file
// and end the program.
class MainWidget : public QWidget {
    Q_OBJECT

public:
    explicit MainWidget(QString title, QWidget *parent = nullptr);
    ~MainWidget() override;

    // Whether a file is being written (and its outcome not yet told).
    bool isWriting() const;
    // Whether a file is being checked (and its result not yet shown).
    bool isChecking() const;

signals:
    void exitClicked();
    void saveFinished();  // a save started by the create command has ended and been reported
    void checkFinished(); // a check has ended and its result window has closed

public slots:
    void onCreateModelDefinition();
    void onCheckModelDefinition();

private:
    void setupUi();
    void setupNumPeriodsRow();
    void setupNamesBox();
    void setupNameFields();
    void setupCategoryBox();
    void setupCensoringBox();
    void setupSizeLine();
    void setupButtonsBox();
    void retranslateUi();
    void alignConstantBoxes();
    void connectSignals();
    void updateSizeLine();
    void enableFieldsInUse();

    ModelOptions readOptions() const;
    QString fieldLabel(ModelField field) const;
    QString describe(const QList<ModelFinding> &findings, int longestText) const;
    struct FindingTexts {
        QString shown;
        QString details; // the whole texts, when `shown` had to shorten them
    };
    FindingTexts findingTexts(const QList<ModelFinding> &findings) const;
    bool acceptInputs(const ModelOptions &options);
    bool fitsOnVolume(const OutputTarget &target, const ModelOptions &options);
    void startSave(const OutputTarget &target, const ModelOptions &options);
    void reportSave(const QString &fileName, const SaveResult &result);
    void startCheck(const QString &fileName);
    void message(QMessageBox::Icon icon, const QString &text, const QString &fileName,
                 const QString &informativeText = QString());

    QString title;
    SaveJob *saveJob = nullptr;   // while a file is being written
    CheckJob *checkJob = nullptr; // while a file is being checked
    QVBoxLayout *verticalLayout_4 = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    QLabel *label = nullptr;
    QSpinBox *numPeriodsSpinBox = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QGroupBox *groupBox = nullptr;
    QVBoxLayout *verticalLayout_3 = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *label_3 = nullptr;
    QLabel *label_4 = nullptr;
    QLabel *label_9 = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QHBoxLayout *survivalRowLayout = nullptr;
    QLineEdit *survivalParameterLineEdit = nullptr;
    QCheckBox *constantSurvivalCheckBox = nullptr;
    QHBoxLayout *detectionRowLayout = nullptr;
    QLineEdit *detectionParameterLineEdit = nullptr;
    QCheckBox *constantDetectionCheckBox = nullptr;
    QLineEdit *finalParameterLineEdit = nullptr;
    QLineEdit *noMoreDetectionsLineEdit = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QLabel *label_8 = nullptr;
    QSpinBox *initialSurvivalIndexSpinBox = nullptr;
    QSpacerItem *horizontalSpacer_2 = nullptr;
    QGroupBox *groupBox_3 = nullptr;
    QGridLayout *_5 = nullptr;
    QVBoxLayout *_6 = nullptr;
    QCheckBox *initialReleaseCheckBox = nullptr;
    QHBoxLayout *_7 = nullptr;
    QVBoxLayout *_8 = nullptr;
    QLabel *label_7 = nullptr;
    QLabel *label_6 = nullptr;
    QVBoxLayout *_9 = nullptr;
    QLineEdit *detectedSymbolLineEdit = nullptr;
    QLineEdit *notDetectedSymbolLineEdit = nullptr;
    QSpacerItem *spacerItem = nullptr;
    QGroupBox *censoringGroupBox = nullptr;
    QGridLayout *_2 = nullptr;
    QVBoxLayout *_3 = nullptr;
    QLabel *label_5 = nullptr;
    QLabel *label_11 = nullptr;
    QVBoxLayout *_4 = nullptr;
    QHBoxLayout *censoringRowLayout = nullptr;
    QLineEdit *censoringParameterLineEdit = nullptr;
    QCheckBox *constantCensoringCheckBox = nullptr;
    QLineEdit *censoredSymbolLineEdit = nullptr;
    QSpacerItem *spacerItem1 = nullptr;
    QLabel *sizeLabel = nullptr;
    QGroupBox *groupBox_5 = nullptr;
    QGridLayout *_11 = nullptr;
    QPushButton *createButton = nullptr;
    QPushButton *exitButton = nullptr;
    QSpacerItem *spacerItem2 = nullptr;
};
