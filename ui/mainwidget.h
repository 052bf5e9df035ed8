// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
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

// The model form: every input of a model definition file, and the buttons that write the file
// and end the program.
class MainWidget : public QWidget {
    Q_OBJECT

public:
    explicit MainWidget(QString title, QWidget *parent = nullptr);
    ~MainWidget() override;

signals:
    void exitClicked();

public slots:
    void onCreateModelDefinition();

private:
    void setupUi();
    void setupNumPeriodsRow();
    void setupNamesBox();
    void setupCategoryBox();
    void setupCensoringBox();
    void setupButtonsBox();
    void retranslateUi();
    void connectSignals();

    ModelOptions readOptions() const;
    QString fieldLabel(ModelField field) const;
    QString describe(const QList<ModelFinding> &findings) const;
    bool acceptInputs(const ModelOptions &options);
    bool fitsOnVolume(const QString &fileName, const ModelOptions &options);
    void writeFile(const QString &fileName, const ModelOptions &options);

    QString title;
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
    QLineEdit *survivalParameterLineEdit = nullptr;
    QLineEdit *detectionParameterLineEdit = nullptr;
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
    QLineEdit *censoringParameterLineEdit = nullptr;
    QLineEdit *censoredSymbolLineEdit = nullptr;
    QSpacerItem *spacerItem1 = nullptr;
    QGroupBox *groupBox_5 = nullptr;
    QGridLayout *_11 = nullptr;
    QPushButton *createButton = nullptr;
    QPushButton *exitButton = nullptr;
    QSpacerItem *spacerItem2 = nullptr;
};
