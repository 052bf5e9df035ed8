// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

class MainWidget;
class QAction;
class QCloseEvent;
class QMenu;
class QMenuBar;
class QStatusBar;

// The one window: File and Help menus, the model form as central widget, an empty status bar.
// Its size is fixed to what the menu bar, the form and the status bar need.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void onAbout();

private:
    void setupUi();
    void retranslateUi();
    MainWidget *createForm();
    void connectSignals(MainWidget *form);

    QAction *actionExit = nullptr;
    QAction *actionAbout = nullptr;
    QAction *actionCreate = nullptr;
    QAction *actionCheck = nullptr;
    QPointer<QWidget> centralwidget; // placeholder; the form replaces it and Qt deletes it
    QMenuBar *menubar = nullptr;
    QMenu *menu_File = nullptr;
    QMenu *menuHelp = nullptr;
    QStatusBar *statusbar = nullptr;
    QString title;
};
