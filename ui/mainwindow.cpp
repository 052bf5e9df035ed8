// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "aboutdialog.h"
#include "mainwidget.h"

#include <QAction>
#include <QCloseEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags) {
    title = tr("tarskCJS 1.0");
    setupUi();
    retranslateUi();
    MainWidget *form = createForm();
    connectSignals(form);
    setWindowTitle(title);
}

MainWindow::~MainWindow() = default;

void MainWindow::setupUi() {
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("MainWindow"));
    resize(543, 598);
    actionExit = new QAction(this);
    actionExit->setObjectName(QStringLiteral("actionExit"));
    actionAbout = new QAction(this);
    actionAbout->setObjectName(QStringLiteral("actionAbout"));
    actionCreate = new QAction(this);
    actionCreate->setObjectName(QStringLiteral("actionCreate"));
    actionCheck = new QAction(this);
    actionCheck->setObjectName(QStringLiteral("actionCheck"));
    centralwidget = new QWidget(this);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    setCentralWidget(centralwidget);
    menubar = new QMenuBar(this);
    menubar->setObjectName(QStringLiteral("menubar"));
    menubar->setGeometry(QRect(0, 0, 543, 21));
    menu_File = new QMenu(menubar);
    menu_File->setObjectName(QStringLiteral("menu_File"));
    menuHelp = new QMenu(menubar);
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    setMenuBar(menubar);
    statusbar = new QStatusBar(this);
    statusbar->setObjectName(QStringLiteral("statusbar"));
    statusbar->setSizeGripEnabled(false); // the window has a fixed size
    setStatusBar(statusbar);

    menubar->addAction(menu_File->menuAction());
    menubar->addAction(menuHelp->menuAction());
    menu_File->addAction(actionCreate);
    menu_File->addAction(actionCheck);
    menu_File->addAction(actionExit);
    menuHelp->addAction(actionAbout);
}

void MainWindow::retranslateUi() {
    setWindowTitle(tr("MainWindow"));
    actionExit->setText(tr("E&xit"));
    actionAbout->setText(tr("&About..."));
    actionCreate->setText(tr("&Create Model Definition File..."));
    actionCheck->setText(tr("C&heck Model Definition File..."));
    menu_File->setTitle(tr("&File"));
    menuHelp->setTitle(tr("Help"));
}

// The form takes over the size the window was designed at; the fixed-size constraint then
// makes the window exactly as large as menu bar, form and status bar need. Only the size is
// set: an explicit position would pin the window where Qt guessed before it was shown, and
// the window manager places it better.
MainWidget *MainWindow::createForm() {
    auto *form = new MainWidget(title, this);
    setCentralWidget(form);
    resize(form->size());
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    return form;
}

void MainWindow::connectSignals(MainWidget *form) {
    connect(actionCreate, &QAction::triggered, form, &MainWidget::onCreateModelDefinition);
    connect(actionCheck, &QAction::triggered, form, &MainWidget::onCheckModelDefinition);
    connect(actionExit, &QAction::triggered, this, &MainWindow::close);
    connect(form, &MainWidget::exitClicked, this, &MainWindow::close);
    connect(actionAbout, &QAction::triggered, this, &MainWindow::onAbout);
}

// While a file is being written the window stays open: the save runs on a worker that the
// window's end would cut off, and its outcome has yet to be told.
void MainWindow::closeEvent(QCloseEvent *event) {
    const auto *form = qobject_cast<const MainWidget *>(centralWidget());
    if (form && form->isWriting())
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void MainWindow::onAbout() {
    AboutDialog dialog;
    dialog.exec();
}
