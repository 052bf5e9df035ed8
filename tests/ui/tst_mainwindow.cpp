// SPDX-License-Identifier: GPL-3.0-or-later
#include "aboutdialog.h"
#include "dialogdriver.h"
#include "mainwidget.h"
#include "mainwindow.h"
#include "sizeline.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSizeGrip>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>

#include <memory>

namespace {

QStringList actionTexts(const QWidget *widget) {
    QStringList texts;
    for (const QAction *action : widget->actions())
        texts.append(action->isSeparator() ? QStringLiteral("----") : action->text());
    return texts;
}

// Marks every text with the context it was looked up in.
class ContextTranslator : public QTranslator {
public:
    QString translate(const char *context, const char *sourceText, const char *,
                      int) const override {
        return QString::fromLatin1(context) + QLatin1Char('|') + QString::fromUtf8(sourceText);
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class tst_MainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void namedParts();
    void formDefaults_data();
    void formDefaults();
    void spinBoxRanges_data();
    void spinBoxRanges();
    void censoringEnablesItsFieldsWithoutClearingThem();
    void constantBoxesDisableWhatNoLongerCounts_data();
    void constantBoxesDisableWhatNoLongerCounts();
    void nothingIsClipped();
    void window();
    void labelsNameTheirFields_data();
    void labelsNameTheirFields();
    void tabOrder_data();
    void tabOrder();
    void exitPathsEndEventLoopWithZero_data();
    void exitPathsEndEventLoopWithZero();
    void aboutDialogIsBuiltAfreshEachTime_data();
    void aboutDialogIsBuiltAfreshEachTime();
    void aboutLabels_data();
    void aboutLabels();
    void textsAreLookedUpInTheirClass();
    void groupedDigitsAsQtGroupsThem_data();
    void groupedDigitsAsQtGroupsThem();
    void sizeLineWrapsInsteadOfWidening();

private:
    template<class T = QObject> T *child(const char *name) const {
        return mainWindow->findChild<T *>(QLatin1String(name));
    }

    std::unique_ptr<MainWindow> mainWindow;
};

void tst_MainWindow::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void tst_MainWindow::init() {
    mainWindow = std::make_unique<MainWindow>();
    mainWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow.get()));
}

void tst_MainWindow::cleanup() {
    mainWindow.reset();
}

// Every part is found under its name, once, with its class and parent.
void tst_MainWindow::namedParts() {
    // class, object name, parent's object name
    const QStringList parts =
        QStringLiteral(
            "QAction actionExit MainWindow; QAction actionAbout MainWindow; "
            "QAction actionCreate MainWindow; QAction actionCheck MainWindow; "
            "QMenuBar menubar MainWindow; "
            "QMenu menu_File menubar; QMenu menuHelp menubar; QStatusBar statusbar MainWindow; "
            "MainWidget MainWidget MainWindow; QVBoxLayout verticalLayout_4 MainWidget; "
            "QHBoxLayout horizontalLayout_4 verticalLayout_4; QLabel label MainWidget; "
            "QHBoxLayout horizontalLayout_3 horizontalLayout_4; "
            "QSpinBox numPeriodsSpinBox MainWidget; QGroupBox groupBox MainWidget; "
            "QVBoxLayout verticalLayout_3 groupBox; QHBoxLayout horizontalLayout verticalLayout_3; "
            "QVBoxLayout verticalLayout horizontalLayout; QLabel label_2 groupBox; "
            "QLabel label_3 groupBox; QLabel label_4 groupBox; QLabel label_9 groupBox; "
            "QVBoxLayout verticalLayout_2 horizontalLayout; "
            "QHBoxLayout survivalRowLayout verticalLayout_2; "
            "QLineEdit survivalParameterLineEdit groupBox; "
            "QCheckBox constantSurvivalCheckBox groupBox; "
            "QHBoxLayout detectionRowLayout verticalLayout_2; "
            "QLineEdit detectionParameterLineEdit groupBox; "
            "QCheckBox constantDetectionCheckBox groupBox; "
            "QLineEdit finalParameterLineEdit groupBox; "
            "QLineEdit noMoreDetectionsLineEdit groupBox; "
            "QHBoxLayout horizontalLayout_2 verticalLayout_3; QLabel label_8 groupBox; "
            "QSpinBox initialSurvivalIndexSpinBox groupBox; QGroupBox groupBox_3 MainWidget; "
            "QGridLayout _5 groupBox_3; QVBoxLayout _6 _5; QHBoxLayout _7 _6; "
            "QCheckBox initialReleaseCheckBox groupBox_3; QVBoxLayout _8 _7; QVBoxLayout _9 _7; "
            "QLabel label_7 groupBox_3; QLabel label_6 groupBox_3; "
            "QLineEdit detectedSymbolLineEdit groupBox_3; "
            "QLineEdit notDetectedSymbolLineEdit groupBox_3; "
            "QGroupBox censoringGroupBox MainWidget; QGridLayout _2 censoringGroupBox; "
            "QVBoxLayout _3 _2; QVBoxLayout _4 _2; QLabel label_5 censoringGroupBox; "
            "QLabel label_11 censoringGroupBox; QHBoxLayout censoringRowLayout _4; "
            "QLineEdit censoringParameterLineEdit censoringGroupBox; "
            "QCheckBox constantCensoringCheckBox censoringGroupBox; "
            "QLineEdit censoredSymbolLineEdit censoringGroupBox; QLabel sizeLabel MainWidget; "
            "QGroupBox groupBox_5 MainWidget; QGridLayout _11 groupBox_5; "
            "QPushButton createButton groupBox_5; QPushButton exitButton groupBox_5")
            .split(QStringLiteral("; "));
    for (const QString &part : parts) {
        const QStringList fields = part.split(QLatin1Char(' '));
        const QList<QObject *> found = mainWindow->findChildren<QObject *>(fields.at(1));
        QStringList seen;
        for (const QObject *object : found)
            seen.append(QStringList{QString::fromLatin1(object->metaObject()->className()),
                                    object->objectName(), object->parent()->objectName()}
                            .join(QLatin1Char(' ')));
        QCOMPARE(seen, QStringList{part});
    }
    // The placeholder central widget has made way for the form.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!child("centralwidget"));
}

void tst_MainWindow::formDefaults_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("survival") << "survivalParameterLineEdit"
                              << "s" << true;
    QTest::newRow("detection") << "detectionParameterLineEdit"
                               << "p" << true;
    QTest::newRow("final") << "finalParameterLineEdit"
                           << "lambda" << true;
    QTest::newRow("noMoreDetections") << "noMoreDetectionsLineEdit"
                                      << "X" << true;
    QTest::newRow("detected") << "detectedSymbolLineEdit"
                              << "1" << true;
    QTest::newRow("notDetected") << "notDetectedSymbolLineEdit"
                                 << "0" << true;
    QTest::newRow("censoringParameter") << "censoringParameterLineEdit"
                                        << "c" << false;
    QTest::newRow("censored") << "censoredSymbolLineEdit"
                              << "2" << false;
    QTest::newRow("constantSurvival") << "constantSurvivalCheckBox"
                                      << "Same for every interval" << true;
    QTest::newRow("constantDetection") << "constantDetectionCheckBox"
                                       << "Same for every occasion" << true;
    QTest::newRow("constantCensoring") << "constantCensoringCheckBox"
                                       << "Same for every occasion" << false;
    QTest::newRow("initialSurvivalIndex") << "initialSurvivalIndexSpinBox"
                                          << "0" << true;
}

// Line edits show their text, check boxes their label (and start unchecked), spin boxes
// their value.
void tst_MainWindow::formDefaults() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, enabled);

    auto *widget = mainWindow->findChild<QWidget *>(name);
    QVERIFY(widget);
    if (auto *lineEdit = qobject_cast<QLineEdit *>(widget)) {
        QCOMPARE(lineEdit->text(), text);
    } else if (auto *box = qobject_cast<QAbstractButton *>(widget)) {
        QCOMPARE(box->text(), text);
        QVERIFY(!box->isChecked());
    } else {
        QCOMPARE(qobject_cast<QSpinBox *>(widget)->text(), text);
    }
    QCOMPARE(widget->isEnabled(), enabled);
    QVERIFY(!child<QAbstractButton>("initialReleaseCheckBox")->isChecked());
    QVERIFY(!child<QGroupBox>("censoringGroupBox")->isChecked());
}

void tst_MainWindow::spinBoxRanges_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");

    QTest::newRow("numPeriods") << "numPeriodsSpinBox" << 2 << 99;
    QTest::newRow("initialSurvivalIndex") << "initialSurvivalIndexSpinBox" << 0 << 99;
}

void tst_MainWindow::spinBoxRanges() {
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);

    auto *spinBox = mainWindow->findChild<QSpinBox *>(name);
    QVERIFY(spinBox);
    QCOMPARE(spinBox->value(), minimum);
    QTest::keyClick(spinBox, Qt::Key_Down);
    QCOMPARE(spinBox->value(), minimum);
    spinBox->setValue(maximum + 1);
    QCOMPARE(spinBox->value(), maximum);
}

void tst_MainWindow::censoringEnablesItsFieldsWithoutClearingThem() {
    auto *box = child<QGroupBox>("censoringGroupBox");
    auto *parameter = child<QLineEdit>("censoringParameterLineEdit");
    auto *symbol = child<QLineEdit>("censoredSymbolLineEdit");

    box->setChecked(true);
    QVERIFY(parameter->isEnabled() && symbol->isEnabled());
    QCOMPARE(parameter->text() + symbol->text(), QString("c2"));

    parameter->setText(QStringLiteral("cens"));
    box->setChecked(false);
    QVERIFY(!parameter->isEnabled() && !symbol->isEnabled());
    QCOMPARE(parameter->text() + symbol->text(), QString("cens2"));
}

void tst_MainWindow::constantBoxesDisableWhatNoLongerCounts_data() {
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("disabled");

    const QStringList s0{"label_8", "initialSurvivalIndexSpinBox"};
    const QStringList final{"label_4", "finalParameterLineEdit"};
    QTest::newRow("none") << QStringList() << QStringList();
    QTest::newRow("survival") << QStringList{"constantSurvivalCheckBox"} << s0 + final;
    QTest::newRow("detection") << QStringList{"constantDetectionCheckBox"} << final;
    QTest::newRow("both") << QStringList{"constantSurvivalCheckBox", "constantDetectionCheckBox"}
                          << s0 + final;
    QTest::newRow("censoring") << QStringList{"censoringGroupBox", "constantCensoringCheckBox"}
                               << QStringList();
}

// A field that no longer counts is disabled, label and all, while its box is checked, and
// keeps its text for when it counts again. Only the fields S0 and Final are watched here.
void tst_MainWindow::constantBoxesDisableWhatNoLongerCounts() {
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, disabled);
    const QStringList watched{"label_8", "initialSurvivalIndexSpinBox", "label_4",
                              "finalParameterLineEdit"};
    const auto disabledNow = [&] {
        QStringList names;
        for (const QString &name : watched) {
            if (!mainWindow->findChild<QWidget *>(name)->isEnabled())
                names.append(name);
        }
        return names;
    };
    child<QLineEdit>("finalParameterLineEdit")->setText(QStringLiteral("chi"));
    child<QSpinBox>("initialSurvivalIndexSpinBox")->setValue(4);

    for (const QString &box : boxes)
        QTest::mouseClick(mainWindow->findChild<QWidget *>(box), Qt::LeftButton, {}, QPoint(8, 8));
    for (const QString &box : boxes)
        QVERIFY2(mainWindow->findChild<QAbstractButton *>(box)
                     ? mainWindow->findChild<QAbstractButton *>(box)->isChecked()
                     : child<QGroupBox>("censoringGroupBox")->isChecked(),
                 qPrintable(box));
    QCOMPARE(disabledNow(), disabled);

    for (auto box = boxes.crbegin(); box != boxes.crend(); ++box)
        QTest::mouseClick(mainWindow->findChild<QWidget *>(*box), Qt::LeftButton, {}, QPoint(8, 8));
    QCOMPARE(disabledNow(), QStringList());
    QCOMPARE(child<QLineEdit>("finalParameterLineEdit")->text(), QString("chi"));
    QCOMPARE(child<QSpinBox>("initialSurvivalIndexSpinBox")->value(), 4);
}

// Every label, box and button shows its whole text, and every part lies inside the window.
void tst_MainWindow::nothingIsClipped() {
    const QRect inside = mainWindow->rect();
    for (QWidget *widget : mainWindow->centralWidget()->findChildren<QWidget *>()) {
        if (!widget->isVisible() || widget->objectName().isEmpty())
            continue;
        const QRect where(widget->mapTo(mainWindow.get(), QPoint(0, 0)), widget->size());
        QVERIFY2(inside.contains(where), qPrintable(widget->objectName()));
        if (qobject_cast<QLabel *>(widget) || qobject_cast<QAbstractButton *>(widget)) {
            QVERIFY2(widget->width() >= widget->sizeHint().width()
                         && widget->height() >= widget->minimumSizeHint().height(),
                     qPrintable(widget->objectName()));
        }
    }
}

void tst_MainWindow::window() {
    QCOMPARE(mainWindow->windowTitle(), QString("tarskCJS 1.0"));
    QCOMPARE(mainWindow->centralWidget()->windowTitle(), QString("tarskCJS 1.0"));

    const QSize size = mainWindow->size();
    QCOMPARE(size, mainWindow->sizeHint());
    mainWindow->resize(size + QSize(200, 200));
    QCoreApplication::processEvents();
    QCOMPARE(mainWindow->size(), size);
    QCOMPARE(mainWindow->maximumSize(), size);
    // Sized but never positioned by the program: the window manager places it.
    QVERIFY(!mainWindow->testAttribute(Qt::WA_Moved));
    QVERIFY(!MainWindow().testAttribute(Qt::WA_Moved));
    // Nothing offers to resize what cannot be resized.
    QVERIFY(!mainWindow->statusBar()->isSizeGripEnabled());
    for (const QSizeGrip *grip : mainWindow->findChildren<QSizeGrip *>())
        QVERIFY(!grip->isVisible());

    QCOMPARE(actionTexts(mainWindow->menuBar()), (QStringList{"&File", "Help"}));
    QCOMPARE(actionTexts(child<QMenu>("menu_File")),
             (QStringList{"&Create Model Definition File...", "C&heck Model Definition File...",
                          "E&xit"}));
    QCOMPARE(actionTexts(child<QMenu>("menuHelp")), QStringList{"&About..."});

    QTest::mouseMove(child<QPushButton>("createButton"));
    QVERIFY(mainWindow->statusBar()->currentMessage().isEmpty());
}

void tst_MainWindow::labelsNameTheirFields_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("field");

    QTest::newRow("periods") << "label"
                             << "numPeriodsSpinBox";
    QTest::newRow("survival") << "label_2"
                              << "survivalParameterLineEdit";
    QTest::newRow("detection") << "label_3"
                               << "detectionParameterLineEdit";
    QTest::newRow("final") << "label_4"
                           << "finalParameterLineEdit";
    QTest::newRow("noMoreDetections") << "label_9"
                                      << "noMoreDetectionsLineEdit";
    QTest::newRow("initialSurvivalIndex") << "label_8"
                                          << "initialSurvivalIndexSpinBox";
    QTest::newRow("detected") << "label_7"
                              << "detectedSymbolLineEdit";
    QTest::newRow("notDetected") << "label_6"
                                 << "notDetectedSymbolLineEdit";
    QTest::newRow("censoringParameter") << "label_5"
                                        << "censoringParameterLineEdit";
    QTest::newRow("censored") << "label_11"
                              << "censoredSymbolLineEdit";
}

// Assistive tools announce each field by its label, and the label draws no mnemonic.
void tst_MainWindow::labelsNameTheirFields() {
    QFETCH(QString, label);
    QFETCH(QString, field);

    auto *shown = mainWindow->findChild<QLabel *>(label);
    auto *named = mainWindow->findChild<QWidget *>(field);
    QVERIFY(shown && named);
    QCOMPARE(shown->buddy(), named);
    QVERIFY(!shown->text().contains(QLatin1Char('&')));
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(named);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), shown->text());
}

void tst_MainWindow::tabOrder_data() {
    QTest::addColumn<bool>("censoring");
    QTest::addColumn<QStringList>("order");

    const QStringList top{
        "numPeriodsSpinBox",          "survivalParameterLineEdit",   "constantSurvivalCheckBox",
        "detectionParameterLineEdit", "constantDetectionCheckBox",   "finalParameterLineEdit",
        "noMoreDetectionsLineEdit",   "initialSurvivalIndexSpinBox", "initialReleaseCheckBox",
        "detectedSymbolLineEdit",     "notDetectedSymbolLineEdit",   "censoringGroupBox"};
    const QStringList buttons{"sizeLabel", "createButton", "exitButton"};
    QTest::newRow("censoring off") << false << top + buttons;
    QTest::newRow("censoring on") << true
                                  << top
                                         + QStringList{"censoringParameterLineEdit",
                                                       "constantCensoringCheckBox",
                                                       "censoredSymbolLineEdit"}
                                         + buttons;
}

// Tab walks the form top to bottom, left to right, and round again; Shift+Tab walks it back.
void tst_MainWindow::tabOrder() {
    QFETCH(bool, censoring);
    QFETCH(QStringList, order);

    child<QGroupBox>("censoringGroupBox")->setChecked(censoring);
    mainWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mainWindow.get()));
    const auto focused = [] {
        QWidget *widget = QApplication::focusWidget();
        if (widget && qobject_cast<QAbstractSpinBox *>(widget->parentWidget()))
            widget = widget->parentWidget(); // the spin box's own line edit
        return widget ? widget->objectName() : QString();
    };
    QCOMPARE(focused(), order.first());

    const auto walk = [&](Qt::Key key) {
        QStringList seen{focused()};
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), key);
            seen.append(focused());
        }
        return seen;
    };
    QCOMPARE(walk(Qt::Key_Tab), order + order.mid(0, 1));
    const QStringList backwards(order.crbegin(), order.crend());
    QCOMPARE(walk(Qt::Key_Backtab), order.mid(0, 1) + backwards);
}

void tst_MainWindow::exitPathsEndEventLoopWithZero_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("exitButton") << "exitButton";
    QTest::newRow("fileExit") << "fileExit";
    QTest::newRow("windowFrame") << "windowFrame";
}

// The event loop's result is the program's exit code.
void tst_MainWindow::exitPathsEndEventLoopWithZero() {
    QFETCH(QString, how);
    QTimer::singleShot(0, mainWindow.get(), [&] {
        if (how == QLatin1String("exitButton"))
            child<QPushButton>("exitButton")->click();
        else if (how == QLatin1String("fileExit"))
            child<QAction>("actionExit")->trigger();
        else
            mainWindow->close();
    });
    QTimer stillRunning; // fails the test instead of hanging it
    stillRunning.setSingleShot(true);
    connect(&stillRunning, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stillRunning.start(120000);

    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!mainWindow->isVisible());
}

void tst_MainWindow::aboutDialogIsBuiltAfreshEachTime_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("okButton") << "okButton";
    QTest::newRow("windowFrame") << "windowFrame";
}

// Each run shows a new dialog as built, whatever became of the one before, and destroys it.
void tst_MainWindow::aboutDialogIsBuiltAfreshEachTime() {
    QFETCH(QString, how);
    DialogDriver driver;
    QStringList seen;
    QList<QPointer<QWidget>> dialogs;
    driver.otherDialog = [&](QWidget *dialog) {
        dialogs.append(dialog);
        const QRect ok = dialog->findChild<QPushButton *>("okButton")->geometry();
        const QRect lastLabel = dialog->findChild<QLabel *>("label_5")->geometry();
        seen.append(
            QStringLiteral("%1 %2 %3x%4 okBottomLeft=%5")
                .arg(QString::fromLatin1(dialog->metaObject()->className()), dialog->windowTitle())
                .arg(dialog->width())
                .arg(dialog->height())
                .arg(ok.left() < dialog->width() / 4 && ok.top() > lastLabel.bottom() ? "yes"
                                                                                      : "no"));
        dialog->setWindowTitle(QStringLiteral("changed"));
        dialog->resize(700, 600);
        if (how == QLatin1String("okButton"))
            dialog->findChild<QPushButton *>("okButton")->click();
        else
            dialog->close();
    };

    child<QAction>("actionAbout")->trigger();
    child<QAction>("actionAbout")->trigger();

    const QString asBuilt = QStringLiteral("AboutDialog Dialog 549x408 okBottomLeft=yes");
    QCOMPARE(seen, (QStringList{asBuilt, asBuilt}));
    QCOMPARE(dialogs.size(), 2);
    QVERIFY2(!dialogs.at(0) && !dialogs.at(1), "a dialog outlived its use");
    QVERIFY(mainWindow->isVisible());
}

void tst_MainWindow::aboutLabels_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<bool>("italic");

    QTest::newRow("label") << "label"
                           << "tarskCJS 1.0" << 24.0 << false;
    QTest::newRow("label_2") << "label_2"
                             << "Created by" << 20.0 << true;
    QTest::newRow("label_3") << "label_3"
                             << "TarskCjs Project\nPopulation Modelling Group" << 22.0 << false;
    QTest::newRow("label_4") << "label_4"
                             << "Funded by" << 20.0 << true;
    QTest::newRow("label_5") << "label_5"
                             << "TarskCjs Field Research Fund" << 22.0 << false;
}

// Rich text, every paragraph centred, in the sizes and styles of the dialog's design.
void tst_MainWindow::aboutLabels() {
    QFETCH(QString, label);
    QFETCH(QString, text);
    QFETCH(qreal, pointSize);
    QFETCH(bool, italic);
    AboutDialog dialog;
    auto *shown = dialog.findChild<QLabel *>(label);
    QVERIFY(shown);

    QVERIFY(Qt::mightBeRichText(shown->text()));
    QTextDocument document;
    document.setHtml(shown->text());
    QCOMPARE(document.toPlainText(), text);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        const QTextCharFormat format = block.begin().fragment().charFormat();
        QCOMPARE(format.fontPointSize(), pointSize);
        QCOMPARE(format.fontItalic(), italic);
    }
    const QColor colour = document.begin().begin().fragment().charFormat().foreground().color();
    QCOMPARE(colour == QColor(Qt::blue), label == QLatin1String("label"));
}

void tst_MainWindow::textsAreLookedUpInTheirClass() {
    ContextTranslator translator;
    QCoreApplication::installTranslator(&translator);
    MainWindow translatedWindow;
    AboutDialog translatedAbout;
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(translatedWindow.windowTitle(), QString("MainWindow|tarskCJS 1.0"));
    QCOMPARE(translatedWindow.findChild<QMenu *>("menuHelp")->title(), QString("MainWindow|Help"));
    QCOMPARE(translatedWindow.findChild<QAction *>("actionCheck")->text(),
             QString("MainWindow|C&heck Model Definition File..."));
    QCOMPARE(translatedWindow.findChild<QLabel *>("label_9")->text(),
             QString("MainWidget|Probability of no detection after a given occasion"));
    QCOMPARE(translatedWindow.findChild<QLineEdit *>("finalParameterLineEdit")->text(),
             QString("MainWidget|lambda"));
    QCOMPARE(translatedWindow.findChild<QCheckBox *>("constantCensoringCheckBox")->text(),
             QString("MainWidget|Same for every occasion"));
    QCOMPARE(translatedAbout.windowTitle(), QString("AboutDialog|Dialog"));
}

void tst_MainWindow::groupedDigitsAsQtGroupsThem_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<qulonglong>("value");

    const QStringList locales{"C", "en_US", "de_DE", "fr_FR", "de_CH", "hi_IN", "ar_EG", "bn_BD"};
    const QList<qulonglong> values{
        0, 7, 999, 1000, 65536, 10782361, 1234567890123456789ULL, ~qulonglong(0)};
    for (const QString &locale : locales) {
        for (qulonglong value : values)
            QTest::addRow("%s_%llu", qPrintable(locale), value) << locale << value;
    }
}

// Beyond 64 bits the grouping is the program's own: it must be Qt's, where Qt has one.
void tst_MainWindow::groupedDigitsAsQtGroupsThem() {
    QFETCH(QString, locale);
    QFETCH(qulonglong, value);
    const QLocale numbers(locale);
    QCOMPARE(groupedDigits(QString::number(value), numbers), numbers.toString(value));
    QCOMPARE(groupedNumber(UInt128(value), numbers), numbers.toString(value));
}

// At N = 99 the figures are long; the line wraps, and the window stays as wide as the form.
void tst_MainWindow::sizeLineWrapsInsteadOfWidening() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    auto *periods = child<QSpinBox>("numPeriodsSpinBox");
    auto *line = child<QLabel>("sizeLabel");
    const int width = mainWindow->width();

    periods->setValue(99);
    QCoreApplication::processEvents();
    QLocale::setDefault(QLocale::system());

    QVERIFY2(line->text().startsWith("633,825,300,114,114,700,748,351,602,688 histories"),
             qPrintable(line->text()));
    QCOMPARE(mainWindow->width(), width);
    QVERIFY2(line->heightForWidth(line->width()) <= line->height(), "the line is cut off");
    QVERIFY(line->geometry().bottom() < child<QWidget>("groupBox_5")->geometry().top());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
