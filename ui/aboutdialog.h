// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpacerItem;
class QVBoxLayout;

// The program's name and version, who made it and who funded it, with an OK button.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

private:
    void setupUi();
    void retranslateUi();

    QVBoxLayout *verticalLayout = nullptr;
    QLabel *label = nullptr;
    QSpacerItem *verticalSpacer = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *label_3 = nullptr;
    QSpacerItem *verticalSpacer_2 = nullptr;
    QLabel *label_4 = nullptr;
    QLabel *label_5 = nullptr;
    QSpacerItem *verticalSpacer_3 = nullptr;
    QHBoxLayout *hboxLayout = nullptr;
    QPushButton *okButton = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
};
