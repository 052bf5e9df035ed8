// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogdriver.h"
#include "mainwidget.h"
#include "mainwindow.h"
#include "modeldefinitionsize.h"
#include "modelfilesaver.h"
#include "modeloptions.h"
#include "outputtarget.h"
#include "smallvolume.h"
#include "specialfiles.h"
#include "testfiles.h"
#include "workedexamples.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <thread>

namespace {

const QString DirectoryKey = QStringLiteral("modelDefinitionDirectory");
const char *const FullDiskDirVariable = "TARSKCJS_TEST_FULL_DISK_DIR";

const QByteArray exampleA = withNativeNewlines(WorkedExampleA);

const QByteArray oldContent = "an earlier file\n";

// Outside Windows "*.*" would hide a file saved without an extension.
#ifdef Q_OS_WIN
const QString allFiles = QStringLiteral("All Files (*.*)");
#else
const QString allFiles = QStringLiteral("All Files (*)");
#endif

QVariant storedDirectory() {
    return QSettings().value(DirectoryKey);
}

// "Critical tarskCJS 1.0 [OK] text": what a message box showed, its informative text aside.
QString summary(const SeenMessage &message) {
    const char *const icons[] = {"NoIcon", "Information", "Warning", "Critical", "Question"};
    const QString buttons =
        message.standardButtons == QMessageBox::Ok && message.buttons.size() == 1
            ? QStringLiteral("OK")
            : message.buttons.join(QLatin1Char('/'));
    return QStringLiteral("%1 %2 [%3] %4")
        .arg(QLatin1String(icons[message.icon]), message.title, buttons, message.text);
}

QString information(const QString &text) {
    return QStringLiteral("Information tarskCJS 1.0 [OK] ") + text;
}

QString critical(const QString &text) {
    return QStringLiteral("Critical tarskCJS 1.0 [OK] ") + text;
}

// The file name a message shows between its first and its last double quote.
QString shownName(const SeenMessage &message) {
    return message.text.section(u'"', 1, -2);
}

// Empty when the message shows the file's name as it should: whole, or, when the name is long,
// shortened in the middle (no name between two "/" longer than 40 characters, the same start
// and end) with the whole name in the box's details.
QString misshown(const SeenMessage &message, const QString &fileName) {
    const QString shown = shownName(message);
    if (shown == fileName)
        return message.detailedText.isEmpty() ? QString() : "details for a name shown whole";
    if (message.detailedText != fileName)
        return "the whole name is not in the details: " + message.detailedText.left(80);
    if (!shown.contains(QChar(0x2026)) || shown.left(4) != fileName.left(4)
        || shown.right(4) != fileName.right(4))
        return "not the name shortened in the middle: " + shown;
    for (const QString &name : shown.split(u'/')) {
        if (name.size() > 40)
            return "a name too long for a line: " + name;
    }
    return QString();
}

} // namespace

class tst_CreateCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void writesWorkedExampleA_data();
    void writesWorkedExampleA();
    void writesReducedModels_data();
    void writesReducedModels();
    void remembersDirectoryOnlyWhenItChanges();
    void cancelledSaveDialogChangesNothing();
    void unopenableFileIsReported_data();
    void unopenableFileIsReported();
    void failedWriteKeepsEarlierFile();
    void failedWriteUnderFileSizeLimit();
    void refusesFileLargerThanFreeSpace();
    void freeSpaceFiguresDiffer();
    void cancelDuringLongWriteKeepsEarlierFile();
    void refusesTextThatBreaksFile_data();
    void refusesTextThatBreaksFile();
    void nameClashAsksBeforeWriting_data();
    void nameClashAsksBeforeWriting();
    void specialTargetsAreWrittenThrough_data();
    void specialTargetsAreWrittenThrough();
    void unusableTargetsAreRefused_data();
    void unusableTargetsAreRefused();
    void windowStaysOpenWhileWriting();
    void fileNamesAreShownAsTheyAre_data();
    void fileNamesAreShownAsTheyAre();
    void longNamesStayOnTheScreen_data();
    void longNamesStayOnTheScreen();
    void checkShowsTheResult_data();
    void checkShowsTheResult();
    void checkOfAStalledFifoIsCancelled();
    void checkRemembersOnlyRegularFiles();
    void sizeLineFollowsTheForm_data();
    void sizeLineFollowsTheForm();
    void sizeLineWarnsOnASmallVolume();

private:
    template<class T> T *child(const char *name) const {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    QString path(const QString &name) const { return files->filePath(name); }
    QStringList messages() const;
    void create(const QString &trigger = QStringLiteral("button"));
    void check(const QString &fileName);

    QTemporaryDir settingsDir;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DialogDriver> driver;
};

void tst_CreateCommand::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QCoreApplication::setOrganizationDomain(QStringLiteral("tarskcjs.example.org"));
    QCoreApplication::setApplicationName(QStringLiteral("TarskCjs"));
}

void tst_CreateCommand::init() {
    QSettings().clear();
    QFile::remove(QSettings().fileName());
    files = std::make_unique<QTemporaryDir>();
    QVERIFY(files->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    driver = std::make_unique<DialogDriver>();
}

void tst_CreateCommand::cleanup() {
    QVERIFY2(driver->unexpected.isEmpty(), qPrintable(driver->unexpected.join(QLatin1Char(','))));
    driver.reset();
    window.reset();
    files.reset();
}

QStringList tst_CreateCommand::messages() const {
    QStringList shown;
    for (const SeenMessage &message : driver->messages)
        shown.append(summary(message));
    return shown;
}

// Runs the create command; returns once its last dialog has been answered.
void tst_CreateCommand::create(const QString &trigger) {
    if (trigger == QLatin1String("button"))
        child<QPushButton>("createButton")->click();
    else
        child<QAction>("actionCreate")->trigger();
    // The file is written on a worker; the command is over once its outcome has been told.
    const MainWidget *form = child<MainWidget>("MainWidget");
    QTRY_VERIFY_WITH_TIMEOUT(!form->isWriting(), 600000);
}

// Runs the check command from the File menu; returns once its result window has closed.
void tst_CreateCommand::check(const QString &fileName) {
    driver->saveAnswers = {fileName};
    child<QAction>("actionCheck")->trigger();
    const MainWidget *form = child<MainWidget>("MainWidget");
    QTRY_VERIFY_WITH_TIMEOUT(!form->isChecking(), 600000);
}

void tst_CreateCommand::writesWorkedExampleA_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("name");

    QTest::newRow("button") << "button"
                            << "model.txt";
    QTest::newRow("fileMenu") << "fileMenu"
                              << "model.txt";
    QTest::newRow("button_noExtensionAdded") << "button"
                                             << "model";
}

void tst_CreateCommand::writesWorkedExampleA() {
    QFETCH(QString, trigger);
    QFETCH(QString, name);
    const QString fileName = path(name);
    driver->saveAnswers = {fileName};

    create(trigger);

    QCOMPARE(readFile(fileName), exampleA);
    QCOMPARE(entriesOf(files->path()), QStringList{name});
    QCOMPARE(driver->saveDialogTitles, QStringList{"Create Model Definition File"});
    QCOMPARE(driver->saveDialogFilters,
             QStringList{"Text Files (*.txt);;" + allFiles + " | Text Files (*.txt)"});
    QCOMPARE(driver->saveDialogDirectories, QStringList{QDir::currentPath()});
    QCOMPARE(messages(),
             QStringList{information(
                 QString("TARSK 4 Model Definition file \"%1\" created.").arg(fileName))});
    QCOMPARE(storedDirectory().toString(), files->path());
}

void tst_CreateCommand::writesReducedModels_data() {
    QTest::addColumn<ModelOptions>("options");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("changeS0AndFinal");
    for (const ReducedExample &example : reducedExamples()) {
        QTest::newRow(example.name) << example.options << example.file << false;
        // S0 and the final parameter no longer count once survival and detection are constant.
        if (QByteArray(example.name) == "phi(.)p(.)_N3") {
            QTest::newRow("phi(.)p(.)_N3_S0_and_final_changed")
                << example.options << example.file << true;
        }
    }
}

// The boxes are clicked in the real window, as an analyst would; the file is the one written
// out by hand.
void tst_CreateCommand::writesReducedModels() {
    QFETCH(ModelOptions, options);
    QFETCH(QByteArray, expected);
    QFETCH(bool, changeS0AndFinal);
    if (changeS0AndFinal) {
        child<QSpinBox>("initialSurvivalIndexSpinBox")->setValue(7);
        child<QLineEdit>("finalParameterLineEdit")->setText(QStringLiteral("chi"));
    }
    child<QSpinBox>("numPeriodsSpinBox")->setValue(options.numPeriods);
    child<QGroupBox>("censoringGroupBox")->setChecked(options.censoring);
    const auto click = [this](const char *box, bool wanted) {
        if (wanted)
            QTest::mouseClick(child<QCheckBox>(box), Qt::LeftButton, {}, QPoint(8, 8));
    };
    click("constantSurvivalCheckBox", options.constantSurvival);
    click("constantDetectionCheckBox", options.constantDetection);
    click("constantCensoringCheckBox", options.constantCensoring);
    const QString fileName = path("model.txt");
    driver->saveAnswers = {fileName};

    create();

    QCOMPARE(readFile(fileName), withNativeNewlines(expected));
    QCOMPARE(messages(),
             QStringList{information(
                 QString("TARSK 4 Model Definition file \"%1\" created.").arg(fileName))});
}

// The setting is written on the first save, left alone while the directory stays the same (a
// comment line that the settings store would drop on writing survives), and replaced when the
// directory changes.
void tst_CreateCommand::remembersDirectoryOnlyWhenItChanges() {
    QTemporaryDir otherDir;
    QVERIFY(otherDir.isValid());
    driver->saveAnswers = {path("first.txt"), path("second.txt"), otherDir.filePath("third.txt")};
    const QByteArray marker = "; left by the test\n";

    create();
    QCOMPARE(storedDirectory().toString(), files->path());
    const QString settingsFile = QSettings().fileName();
    QVERIFY(writeFile(settingsFile, readFile(settingsFile) + marker));

    create();
    QCOMPARE(driver->saveDialogDirectories.value(1), files->path());
    QVERIFY2(readFile(settingsFile).endsWith(marker), "setting rewritten");

    create(QStringLiteral("fileMenu"));
    QCOMPARE(storedDirectory().toString(), otherDir.path());
    QVERIFY(!readFile(settingsFile).contains(marker));

    QCOMPARE(readFile(path("second.txt")), exampleA);
    QCOMPARE(readFile(otherDir.filePath("third.txt")), exampleA);
    QCOMPARE(driver->messages.size(), 3);
}

void tst_CreateCommand::cancelledSaveDialogChangesNothing() {
    driver->saveAnswers = {QString()};

    create();

    QCOMPARE(driver->saveDialogTitles.size(), 1);
    QCOMPARE(messages(), QStringList());
    QVERIFY(!QFile::exists(QSettings().fileName()));
    QCOMPARE(entriesOf(files->path()), QStringList());
}

void tst_CreateCommand::unopenableFileIsReported_data() {
    QTest::addColumn<QString>("directory");

    QTest::newRow("missingDirectory") << "missing";
    QTest::newRow("throughRegularFile") << "afile";
    QTest::newRow("longMissingDirectory") << QString(250, u'd');
}

void tst_CreateCommand::unopenableFileIsReported() {
    QFETCH(QString, directory);
    QVERIFY(writeFile(path("afile"), oldContent));
    const QString fileName = path(directory) + QStringLiteral("/x.txt");
    driver->saveAnswers = {fileName};

    create();

    QCOMPARE(driver->messages.size(), 1);
    const QString problem = misshown(driver->messages.constFirst(), fileName);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(messages(), QStringList{critical(QString("Unable to create file \"%1\"")
                                                  .arg(shownName(driver->messages.constFirst())))});
    QVERIFY2(!driver->messages.constFirst().informativeText.isEmpty(), "the reason is missing");
    QVERIFY2(driver->messages.constFirst().fitsOnScreen, "part of the message is cut off");
    QCOMPARE(entriesOf(files->path()), QStringList{"afile"});
    QCOMPARE(readFile(path("afile")), oldContent);

    // What is not a directory is not remembered: the next dialog opens where it would have.
    QVERIFY(!storedDirectory().isValid());
    driver->saveAnswers = {QString()};
    create();
    QCOMPARE(driver->saveDialogDirectories.value(1), QDir::currentPath());
}

// The disk fills up half-way: a copy of this program runs the command with its files limited
// to 64 KiB (see below); the earlier file must survive whole, with nothing beside it.
void tst_CreateCommand::failedWriteKeepsEarlierFile() {
    QVERIFY(writeFile(path("model.txt"), oldContent));
    QProcess helper;
    helper.setProgram(QCoreApplication::applicationFilePath());
    helper.setArguments({QStringLiteral("failedWriteUnderFileSizeLimit")});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(FullDiskDirVariable), files->path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::MergedChannels);
    helper.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN); // a failing write instead of a killed process
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &limit);
    });

    helper.start();

    QVERIFY(helper.waitForFinished(240000));
    const QByteArray output = helper.readAll();
    QVERIFY2(helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0,
             output.constData());
    QVERIFY2(output.contains("PASS   : tst_CreateCommand::failedWriteUnderFileSizeLimit()"),
             output.constData());
    QCOMPARE(readFile(path("model.txt")), oldContent);
    QCOMPARE(entriesOf(files->path()), QStringList{"model.txt"});
}

void tst_CreateCommand::failedWriteUnderFileSizeLimit() {
    const QString directory = qEnvironmentVariable(FullDiskDirVariable);
    if (directory.isEmpty())
        QSKIP("run by failedWriteKeepsEarlierFile under a file size limit");
    const QString fileName = QDir(directory).filePath(QStringLiteral("model.txt"));
    child<QSpinBox>("numPeriodsSpinBox")->setValue(16);
    driver->saveAnswers = {fileName};

    create();

    QCOMPARE(driver->overwriteConfirmations, 1);
    QCOMPARE(messages().size(), 1);
    const QString failed = critical(QString("Unable to write file \"%1\": ").arg(fileName));
    QVERIFY2(messages().constFirst().startsWith(failed), qPrintable(messages().constFirst()));
    QVERIFY2(messages().constFirst().size() > failed.size(), "the reason is missing");
}

void tst_CreateCommand::refusesFileLargerThanFreeSpace() {
    child<QSpinBox>("numPeriodsSpinBox")->setValue(99);
    ModelOptions options;
    options.numPeriods = 99;
    const QString needed =
        humanReadableSize(modelDefinitionSize(options, NativeNewlineLength).bytes);
    const QString fileName = path("model.txt");
    driver->saveAnswers = {fileName};

    create();

    QCOMPARE(messages(),
             QStringList{critical(QString("Not enough free space for file \"%1\"").arg(fileName))});
    const QRegularExpression sizes(
        QString("^The file would take %1, but only [0-9.]+ \\S+ are free there. "
                "Nothing was written.$")
            .arg(QRegularExpression::escape(needed)));
    QVERIFY2(sizes.match(driver->messages.constFirst().informativeText).hasMatch(),
             qPrintable(driver->messages.constFirst().informativeText));
    QCOMPARE(entriesOf(files->path()), QStringList());
    QCOMPARE(storedDirectory().toString(), files->path());
}

// A volume a page short of the file: the two figures of the refusal must not read alike.
void tst_CreateCommand::freeSpaceFiguresDiffer() {
    ModelOptions options;
    options.numPeriods = 13;
    const quint64 needed =
        modelDefinitionSize(options, NativeNewlineLength).bytes.toUInt64Saturated();
    const quint64 volumeBytes = (needed / 4096) * 4096;
    const SmallVolume small(path("small"), QString::number(volumeBytes));
    if (!small.isMounted())
        QSKIP("cannot mount a small tmpfs here (needs root)");
    child<QSpinBox>("numPeriodsSpinBox")->setValue(options.numPeriods);
    driver->saveAnswers = {small.filePath("model.txt")};

    create();

    QCOMPARE(messages().size(), 1);
    const QRegularExpression figures(
        QStringLiteral("^The file would take (.+), but only (.+) are free there\\."));
    const QRegularExpressionMatch match =
        figures.match(driver->messages.constFirst().informativeText);
    QVERIFY2(match.hasMatch(), qPrintable(driver->messages.constFirst().informativeText));
    QVERIFY2(match.captured(1) != match.captured(2), qPrintable(match.captured(0)));
    QCOMPARE(entriesOf(small.filePath(QString())), QStringList());
}

void tst_CreateCommand::cancelDuringLongWriteKeepsEarlierFile() {
    // Long enough that the progress dialog shows on any machine; Cancel ends it early.
    ModelOptions options;
    options.numPeriods = 24;
    const QString fileName = path("model.txt");
    if (!freeSpaceFor(resolveOutputTarget(fileName),
                      modelDefinitionSize(options, NativeNewlineLength).bytes)
             .fits())
        QSKIP("needs room for a 4.4 GB file in the temporary directory");
    QVERIFY(writeFile(fileName, oldContent));
    child<QSpinBox>("numPeriodsSpinBox")->setValue(options.numPeriods);
    driver->saveAnswers = {fileName};
    driver->cancelProgress = true;

    create();

    QCOMPARE(driver->progressDialogsSeen, 1);
    QCOMPARE(driver->progressTitle, QString("tarskCJS 1.0"));
    QVERIFY2(driver->progressLabel.contains(fileName), qPrintable(driver->progressLabel));
    QCOMPARE(messages(), QStringList());
    QCOMPARE(readFile(fileName), oldContent);
    QCOMPARE(entriesOf(files->path()), QStringList{"model.txt"});
}

void tst_CreateCommand::refusesTextThatBreaksFile_data() {
    QTest::addColumn<QByteArray>("lineEdit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown"); // what the message shows of the text, and where

    QTest::newRow("survival_lineFeed") << QByteArray("survivalParameterLineEdit") << "s\nt"
                                       << "\"Survival\" parameter"
                                       << "\"s\\nt\" contains a line break at character 2";
    QTest::newRow("censoredSymbol_paragraphSeparator")
        << QByteArray("censoredSymbolLineEdit") << QString("2") + QChar(0x2029)
        << "\"Censored\" symbol"
        << "\"2\\u{2029}\" contains a line break at character 2";
    QTest::newRow("finalParameter_loneSurrogate")
        << QByteArray("finalParameterLineEdit") << QString("lam") + QChar(0xdc00) + "bda"
        << "Final \"survival\" x detection parameter"
        << "contains \"\\u{dc00}\" at character 4";
    QTest::newRow("notDetectedSymbol_tab")
        << QByteArray("notDetectedSymbolLineEdit") << "\t"
        << "\"Not detected\" symbol"
        << "\"\\t\" contains a control character (\\t) at character 1";
    QTest::newRow("detection_comma") << QByteArray("detectionParameterLineEdit") << "p,q"
                                     << "Detection parameter"
                                     << "\"p,q\" contains \",\" at character 2";
    QTest::newRow("constantSurvival_empty")
        << QByteArray("survivalParameterLineEdit") << QString() << "\"Survival\" parameter"
        << "is empty, but it names one parameter for the whole model";
    QTest::newRow("constantCensoring_empty")
        << QByteArray("censoringParameterLineEdit") << QString() << "Censoring parameter"
        << "is empty, but it names one parameter for the whole model";
}

// The text is pasted, as an analyst would; the line edit keeps line breaks.
void tst_CreateCommand::refusesTextThatBreaksFile() {
    QFETCH(QByteArray, lineEdit);
    QFETCH(QString, text);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    child<QGroupBox>("censoringGroupBox")->setChecked(true);
    // An empty name breaks the file only where it is one parameter for every occasion.
    child<QCheckBox>("constantSurvivalCheckBox")->setChecked(text.isEmpty());
    child<QCheckBox>("constantCensoringCheckBox")->setChecked(text.isEmpty());
    auto *edit = child<QLineEdit>(lineEdit.constData());
    QApplication::clipboard()->setText(text);
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        edit->paste();
    QCOMPARE(edit->text(), text);
    driver->saveAnswers = {path("model.txt")};

    create();

    QCOMPARE(driver->saveDialogTitles, QStringList());
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().constFirst().startsWith(critical(label + " " + shown)),
             qPrintable(messages().constFirst()));
    QVERIFY(!storedDirectory().isValid());
    QCOMPARE(entriesOf(files->path()), QStringList());
}

void tst_CreateCommand::nameClashAsksBeforeWriting_data() {
    QTest::addColumn<QByteArray>("lineEdit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QStringList>("mentioned"); // empty: nothing to ask, the file is written

    const QStringList clash = {"\"Survival\" parameter", "Final \"survival\" x detection parameter",
                               "\"s0\""};
    QTest::newRow("cancel") << QByteArray("finalParameterLineEdit") << "s0"
                            << "Cancel" << false << clash;
    QTest::newRow("writeAnyway") << QByteArray("finalParameterLineEdit") << "s0"
                                 << "Write anyway" << true << clash;
    // Names that read alike across alphabets: the Cyrillic er of "р1" against the Latin "p1".
    const QStringList cyrillic = {"\"Survival\" parameter gives \"\u04401\"",
                                  "Detection parameter gives \"p1\"",
                                  "U+0440 CYRILLIC SMALL LETTER ER"};
    QTest::newRow("lookAlikeCancel") << QByteArray("survivalParameterLineEdit")
                                     << QStringLiteral("\u0440") << "Cancel" << false << cyrillic;
    QTest::newRow("lookAlikeWriteAnyway")
        << QByteArray("survivalParameterLineEdit") << QStringLiteral("\u0440") << "Write anyway"
        << true << cyrillic;
    QTest::newRow("fullWidthFinal")
        << QByteArray("finalParameterLineEdit") << QStringLiteral("\uff501") << "Cancel" << false
        << QStringList{"U+FF50 FULLWIDTH LATIN SMALL LETTER P", "U+0070 LATIN SMALL LETTER P"};
    // Only similar: nothing to ask.
    QTest::newRow("capitalLetterOnlySimilar") << QByteArray("detectionParameterLineEdit") << "S"
                                              << "" << true << QStringList();
}

void tst_CreateCommand::nameClashAsksBeforeWriting() {
    QFETCH(QByteArray, lineEdit);
    QFETCH(QString, text);
    QFETCH(QString, answer);
    QFETCH(bool, written);
    QFETCH(QStringList, mentioned);
    child<QLineEdit>(lineEdit.constData())->setText(text);
    child<QSpinBox>("numPeriodsSpinBox")->setValue(3);
    const QString fileName = path("model.txt");
    driver->saveAnswers = {fileName};
    driver->messageAnswer = answer;

    create();

    QVERIFY(!driver->messages.isEmpty());
    QCOMPARE(QFile::exists(fileName), written);
    QCOMPARE(storedDirectory().isValid(), written);
    QCOMPARE(driver->saveDialogTitles.size(), written ? 1 : 0);
    const bool asked = !mentioned.isEmpty();
    QCOMPARE(driver->messages.size(), (asked ? 1 : 0) + (written ? 1 : 0));
    if (!asked) {
        QCOMPARE(messages(),
                 QStringList{information(
                     QString("TARSK 4 Model Definition file \"%1\" created.").arg(fileName))});
        return;
    }
    const SeenMessage &warning = driver->messages.constFirst();
    const QString shown = summary(warning);
    QVERIFY2(shown.startsWith("Warning tarskCJS 1.0 [Write anyway/Cancel] "), qPrintable(shown));
    for (const QString &words : mentioned)
        QVERIFY2(shown.contains(words), qPrintable(words + " missing from: " + shown));
    QCOMPARE(warning.defaultButton + warning.escapeButton, QString("CancelCancel"));
}

void tst_CreateCommand::specialTargetsAreWrittenThrough_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("null_device") << "null";
    QTest::newRow("full_device") << "full";
    QTest::newRow("fifo_with_reader") << "fifo";
    QTest::newRow("dev_null") << "/dev/null";
}

// A device or a FIFO chosen in the dialog is written straight through and stays what it was;
// it is never replaced by a regular file.
void tst_CreateCommand::specialTargetsAreWrittenThrough() {
    QFETCH(QString, kind);
    const bool system = kind.startsWith(u'/');
    const QString target = system ? kind : path(kind);
    const bool made = system           ? QFile::exists(target)
                      : kind == "null" ? makeNullDevice(target)
                      : kind == "full" ? makeFullDevice(target)
                                       : makeFifo(target);
    if (!made)
        QSKIP("this user may not make device files here (mknod needs root)");
    const QString before = fileKind(target);
    QByteArray received;
    std::thread reader;
    if (kind == "fifo")
        reader = std::thread([&] { received = readFile(target); });
    driver->saveAnswers = {target};

    create();

    if (reader.joinable())
        reader.join();
    QCOMPARE(fileKind(target), before);
    QCOMPARE(entriesOf(files->path()), system ? QStringList() : QStringList{kind});
    // A device or a FIFO is no place for files: the dialog opens where it did.
    QVERIFY2(!storedDirectory().isValid(), qPrintable(storedDirectory().toString()));
    if (kind == "full") {
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages().constFirst().startsWith(
                     critical(QString("Unable to write file \"%1\": ").arg(target))),
                 qPrintable(messages().constFirst()));
    } else {
        QCOMPARE(messages(),
                 QStringList{information(
                     QString("TARSK 4 Model Definition file \"%1\" created.").arg(target))});
    }
    if (kind == "fifo")
        QCOMPARE(received, exampleA);
}

void tst_CreateCommand::unusableTargetsAreRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason"); // "$DIR" stands for the temporary directory

    QTest::newRow("socket") << "socket"
                            << "It is a socket, which cannot be opened as a file. Nothing was "
                               "written.";
    // Writing the last link of a loop would replace it by a file and break the loop.
    QTest::newRow("loopOfTwoLinks")
        << "loop_a" << QString::fromLocal8Bit(std::strerror(ELOOP)) + ". Nothing was written.";
    QTest::newRow("linkToItself") << "self"
                                  << QString::fromLocal8Bit(std::strerror(ELOOP))
                                         + ". Nothing was written.";
    QTest::newRow("linkIntoMissingDirectory")
        << "model.txt"
        << "It is a link that leads to \"$DIR/nowhere/model.txt\", but the directory "
           "\"$DIR/nowhere\" does not exist";
}

// What cannot take a model file is refused with the reason, and stays what it was.
void tst_CreateCommand::unusableTargetsAreRefused() {
    QFETCH(QString, name);
    QFETCH(QString, reason);
    const QString target = path(name);
    const int socket = name == "socket" ? makeSocket(target) : -1;
    if (name == "socket" && socket < 0)
        QSKIP("cannot make a Unix socket here");
    QVERIFY(QFile::link("loop_b", path("loop_a")));
    QVERIFY(QFile::link("loop_a", path("loop_b")));
    QVERIFY(QFile::link("self", path("self")));
    QVERIFY(QFile::link("nowhere/model.txt", path("model.txt")));
    const QStringList entries = entriesOf(files->path());
    const QString kind = fileKind(target);
    driver->saveAnswers = {target};

    create();

    if (socket >= 0)
        ::close(socket);
    QCOMPARE(messages(),
             QStringList{critical(QString("Unable to create file \"%1\"").arg(target))});
    QCOMPARE(driver->messages.constFirst().informativeText,
             QString(reason).replace("$DIR", files->path()));
    QCOMPARE(fileKind(target), kind);
    QCOMPARE(entriesOf(files->path()), entries);
}

// A FIFO nobody reads yet holds the save: the window keeps working but refuses to close,
// until the save is over.
void tst_CreateCommand::windowStaysOpenWhileWriting() {
    const QString target = path("fifo");
    QVERIFY(makeFifo(target));
    driver->saveAnswers = {target};
    child<QPushButton>("createButton")->click();
    const MainWidget *form = child<MainWidget>("MainWidget");
    QVERIFY(form->isWriting());

    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    child<QPushButton>("createButton")->click(); // a second save does not start
    QCOMPARE(driver->saveDialogTitles.size(), 1);

    QByteArray received;
    std::thread reader([&] { received = readFile(target); });
    QTRY_VERIFY_WITH_TIMEOUT(!form->isWriting(), 600000);
    reader.join();
    QCOMPARE(received, exampleA);
    QCOMPARE(messages().size(), 1);
    QVERIFY(window->close());
}

void tst_CreateCommand::fileNamesAreShownAsTheyAre_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("bold_tag") << "<b>model.txt";
    QTest::newRow("entity") << "a&lt;b.txt";
    QTest::newRow("line_break_tag") << "v1<br>v2.txt";
    QTest::newRow("long_name") << QString(240, u'n') + ".txt";
}

void tst_CreateCommand::fileNamesAreShownAsTheyAre() {
    QFETCH(QString, name);
    const QString fileName = path(name);
    driver->saveAnswers = {fileName};

    create();

    QCOMPARE(readFile(fileName), exampleA);
    QCOMPARE(driver->messages.size(), 1);
    const QString problem = misshown(driver->messages.constFirst(), fileName);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(messages(),
             QStringList{information(QString("TARSK 4 Model Definition file \"%1\" created.")
                                         .arg(shownName(driver->messages.constFirst())))});
    QCOMPARE(driver->messages.constFirst().textFormat, Qt::PlainText);
    QVERIFY2(driver->messages.constFirst().fitsOnScreen, "part of the message is cut off");
}

void tst_CreateCommand::longNamesStayOnTheScreen_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("length"); // of the path, whose names are 30 or 200 characters

    QTest::newRow("created_path300") << "created" << 300;
    QTest::newRow("unopenable_path4000") << "unopenable" << 4000;
    QTest::newRow("unopenable_path300") << "unopenable" << 300;
    QTest::newRow("noRoom_path4000") << "noRoom" << 4000;
    QTest::newRow("noRoom_path300") << "noRoom" << 300;
    QTest::newRow("checked_path300") << "checked" << 300;
    QTest::newRow("created_path4000") << "created" << 4000;
    QTest::newRow("checked_path4000") << "checked" << 4000;
    // A name of the form that is refused (it holds ",") or asked about (it holds "-"): the box
    // quotes it.
    QTest::newRow("refusedName_name4000") << "refusedName" << 4000;
    QTest::newRow("askedName_name4000") << "askedName" << 4000;
}

// Whatever the box, it lies within the screen's free area and keeps the whole name at hand.
void tst_CreateCommand::longNamesStayOnTheScreen() {
    QFETCH(QString, box);
    QFETCH(int, length);
    if (box.endsWith("Name")) {
        const bool refused = box == "refusedName";
        const QString name = QString(length - 1, u'a') + (refused ? u',' : u'-');
        child<QLineEdit>("survivalParameterLineEdit")->setText(name);
        driver->messageAnswer = "Cancel";
        create();
        QCOMPARE(driver->messages.size(), 1);
        const SeenMessage &shown = driver->messages.constFirst();
        QVERIFY2(shown.fitsOnScreen, "the box is off the screen");
        QCOMPARE(shown.icon, refused ? QMessageBox::Critical : QMessageBox::Warning);
        QVERIFY2(shown.text.contains(u'\u2026'), qPrintable(shown.text));
        QVERIFY2(shown.detailedText.contains(name), "the whole name is not in the details");
        if (refused) // the character is told from the whole name
            QVERIFY2(shown.text.contains("\",\" at character 4000"), qPrintable(shown.text));
        QCOMPARE(entriesOf(files->path()), QStringList());
        return;
    }
    QString directory = files->path();
    while (directory.size() < length - 220)
        directory += QStringLiteral("/") + QString(length > 300 ? 200 : 30, u'd');
    while (directory.size() < length - 20)
        directory += QStringLiteral("/d");
    if (box != "unopenable")
        QVERIFY(QDir().mkpath(directory));
    const QString fileName = directory + "/model.txt";
    if (box == "noRoom")
        child<QSpinBox>("numPeriodsSpinBox")->setValue(99);

    if (box == "checked") {
        QVERIFY(writeFile(fileName, exampleA));
        check(fileName);
        QCOMPARE(driver->results.size(), 1);
        QVERIFY2(driver->results.constFirst().fitsOnScreen, "the window is off the screen");
        QCOMPARE(driver->results.constFirst().fileName, fileName);
        return;
    }
    driver->saveAnswers = {fileName};
    create();
    QCOMPARE(driver->messages.size(), 1);
    const SeenMessage &shown = driver->messages.constFirst();
    QVERIFY2(shown.fitsOnScreen, "the box is off the screen");
    const QString problem = misshown(shown, fileName);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(shown.icon, box == "created" ? QMessageBox::Information : QMessageBox::Critical);
}

void tst_CreateCommand::checkShowsTheResult_data() {
    QTest::addColumn<QByteArray>("content"); // empty: /proc/self/mem, which cannot be read
    QTest::addColumn<int>("periods");        // on the form
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QList<int>>("counts"); // histories, warnings, errors; empty: not shown
    QTest::addColumn<QStringList>("findings");
    QTest::addColumn<QString>("comparison");
    QTest::addColumn<bool>("closeWithEnter"); // else Escape, wherever the focus is

    const QString line = "likelihood\n";
    QByteArray removed = exampleA;
    removed.replace("1 0, s0*p1*X1,\n", "");
    QTest::newRow("written_sound_matches")
        << exampleA << 2 << "is sound, and it is the file the form's current model would write."
        << QList<int>{4, 0, 0} << QStringList() << QString() << true;
    QTest::newRow("removed_history_unsound")
        << removed << 2 << "is not sound." << QList<int>{3, 0, 2}
        << QStringList{"8||error: cells do not sum to 1", "12|1|error: missing history"}
        << QStringLiteral("It is not the file the form's current model would write; the first "
                          "difference is on line 12: this line is not the one written for the "
                          "given options: from column 3 on (marked \u25b8), expected "
                          "\"1 \u25b80, s0*p1*X1,\", found \"1 \u25b81, s0*p1*lambda;\".")
        << true;
    QTest::newRow("sound_but_not_the_form")
        << exampleA << 3 << "is sound." << QList<int>{4, 0, 0} << QStringList()
        << QStringLiteral("It is not the file the form's current model would write; the first "
                          "difference is on line 2: this line is not the one written for the "
                          "given options: from column 9 on (marked \u25b8), expected "
                          "\"s0, p1, \u25b8s1, p2, lambda;\", found \"s0, p1, \u25b8lambda;\".")
        << false;
    QTest::newRow("unused_parameter_warns")
        << QByteArray(exampleA).replace("s0, p1, lambda;", "s0, p1, q, lambda;") << 2 << "is sound."
        << QList<int>{4, 1, 0} << QStringList{"2||warning: unused parameter"}
        << QStringLiteral("It is not the file the form's current model would write; the first "
                          "difference is on line 2: this line is not the one written for the "
                          "given options: from column 9 on (marked \u25b8), expected "
                          "\"s0, p1, \u25b8lambda;\", found \"s0, p1, \u25b8q, lambda;\".")
        << false;
    // The final parameter renamed to a Greek chi and a one: it reads like the variable X1.
    QTest::newRow("look_alike_names_warn")
        << QByteArray(exampleA).replace("lambda", QStringLiteral("\u03a71").toUtf8()) << 2
        << "is sound." << QList<int>{4, 1, 0} << QStringList{"5||warning: names that read alike"}
        << QStringLiteral("It is not the file the form's current model would write; the first "
                          "difference is on line 2: this line is not the one written for the "
                          "given options: from column 9 on (marked \u25b8), expected "
                          "\"s0, p1, \u25b8lambda;\", found \"s0, p1, \u25b8\u03a71;\".")
        << false;
    QTest::newRow("unreadable") << QByteArray() << 2 << "could not be read: " << QList<int>()
                                << QStringList() << QString() << false;
}

// The result window tells the verdict, the counts, the findings and whether the file is the
// form's; plain text, and Escape closes it.
void tst_CreateCommand::checkShowsTheResult() {
    QFETCH(QByteArray, content);
    QFETCH(int, periods);
    QFETCH(QString, verdict);
    QFETCH(QList<int>, counts);
    QFETCH(QStringList, findings);
    QFETCH(QString, comparison);
    QFETCH(bool, closeWithEnter);
    driver->resultKey = closeWithEnter ? Qt::Key_Return : Qt::Key_Escape;
    const QString fileName =
        content.isEmpty() ? QStringLiteral("/proc/self/mem") : path("<b>model.txt");
    if (!content.isEmpty())
        QVERIFY(writeFile(fileName, content));
    child<QSpinBox>("numPeriodsSpinBox")->setValue(periods);

    check(fileName);

    QCOMPARE(driver->saveDialogTitles, QStringList{"Check Model Definition File"});
    QCOMPARE(driver->saveDialogFilters,
             QStringList{"Text Files (*.txt);;" + allFiles + " | Text Files (*.txt)"});
    QCOMPARE(driver->results.size(), 1);
    const SeenResult &result = driver->results.constFirst();
    QCOMPARE(result.title, QString("tarskCJS 1.0"));
    QCOMPARE(result.fileName, fileName);
    QVERIFY2(result.verdict.startsWith("\"" + fileName + "\" " + verdict),
             qPrintable(result.verdict));
    const QLocale locale;
    const QString countsText =
        counts.isEmpty()
            ? QString()
            : QString("Histories: %1. Warnings: %2. Errors: %3.")
                  .arg(locale.toString(counts.value(0)), locale.toString(counts.value(1)),
                       locale.toString(counts.value(2)));
    QCOMPARE(result.counts, countsText);
    QStringList shownFindings;
    for (const QString &finding : result.findings)
        shownFindings.append(finding.section(u'|', 0, 2));
    for (QString &finding : findings)
        finding.replace(0, finding.indexOf(u'|'),
                        locale.toString(finding.section(u'|', 0, 0).toInt()));
    QCOMPARE(shownFindings, findings);
    QCOMPARE(result.comparison, comparison.replace("line 12", "line " + locale.toString(12))
                                    .replace("line 2:", "line " + locale.toString(2) + ":"));
    QCOMPARE(result.defaultButton, QString("Close"));
    QVERIFY2(result.closedByKey, "the key left the window open");
    QVERIFY(result.fitsOnScreen);
    QCOMPARE(messages(), QStringList());
}

// A FIFO whose writer stalls keeps the check waiting: the progress dialog comes up, and its
// Cancel ends the check without a result.
void tst_CreateCommand::checkOfAStalledFifoIsCancelled() {
    const QString fifo = path("fifo");
    QVERIFY(makeFifo(fifo));
    std::atomic<bool> over{false};
    std::thread writer([&] {
        QFile end(fifo);
        if (!end.open(QIODevice::WriteOnly))
            return;
        end.write(exampleA.left(40));
        end.flush();
        while (!over.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    driver->cancelProgress = true;

    check(fifo);

    over.store(true);
    writer.join();
    QCOMPARE(driver->progressDialogsSeen, 1);
    QVERIFY2(driver->progressLabel.contains(fifo), qPrintable(driver->progressLabel));
    QCOMPARE(driver->results.size(), 0);
    QCOMPARE(messages(), QStringList());
}

// A checked regular file moves the remembered directory; a FIFO leaves it.
void tst_CreateCommand::checkRemembersOnlyRegularFiles() {
    QTemporaryDir other;
    QVERIFY(other.isValid());
    const QString fifo = other.filePath("fifo");
    QVERIFY(makeFifo(fifo));
    QVERIFY(writeFile(path("model.txt"), exampleA));

    check(path("model.txt"));
    QCOMPARE(storedDirectory().toString(), files->path());

    std::thread writer([&] { writeFile(fifo, exampleA); });
    check(fifo);
    writer.join();
    QCOMPARE(storedDirectory().toString(), files->path());
    QCOMPARE(driver->saveDialogDirectories.value(1), files->path());
    QCOMPARE(driver->results.size(), 2);
    QVERIFY2(driver->results.at(1).verdict.contains("is sound, and it is the file"),
             qPrintable(driver->results.at(1).verdict));
}

void tst_CreateCommand::sizeLineFollowsTheForm_data() {
    QTest::addColumn<int>("periods");
    QTest::addColumn<bool>("censoring");
    QTest::addColumn<bool>("release");
    QTest::addColumn<QString>("survival");
    QTest::addColumn<QString>("constants"); // the boxes checked: survival, detection, censoring

    QTest::newRow("defaults") << 2 << false << false << "s"
                              << "";
    QTest::newRow("N16") << 16 << false << false << "s"
                         << "";
    QTest::newRow("N16_censoring") << 16 << true << false << "s"
                                   << "";
    QTest::newRow("N10_release_long_name") << 10 << false << true << "survival"
                                           << "";
    QTest::newRow("N24_censoring_release") << 24 << true << true << "phi"
                                           << "";
    QTest::newRow("N40") << 40 << false << false << "s"
                         << "";
    QTest::newRow("N16_constant_survival") << 16 << false << false << "phi"
                                           << "S";
    QTest::newRow("N22_constant_both") << 22 << false << false << "s"
                                       << "SD";
    QTest::newRow("N12_censoring_all_constant") << 12 << true << true << "s"
                                                << "SDC";
    QTest::newRow("N12_constant_censoring_only") << 12 << true << false << "s"
                                                 << "C";
}

// The line shows the figures of --stats for whatever the form holds, in the locale's numbers.
void tst_CreateCommand::sizeLineFollowsTheForm() {
    QFETCH(int, periods);
    QFETCH(bool, censoring);
    QFETCH(bool, release);
    QFETCH(QString, survival);
    QFETCH(QString, constants);
    child<QSpinBox>("numPeriodsSpinBox")->setValue(periods);
    child<QGroupBox>("censoringGroupBox")->setChecked(censoring);
    child<QAbstractButton>("initialReleaseCheckBox")->setChecked(release);
    child<QLineEdit>("survivalParameterLineEdit")->setText(survival);
    child<QAbstractButton>("constantSurvivalCheckBox")->setChecked(constants.contains(u'S'));
    child<QAbstractButton>("constantDetectionCheckBox")->setChecked(constants.contains(u'D'));
    child<QAbstractButton>("constantCensoringCheckBox")->setChecked(constants.contains(u'C'));

    ModelOptions options;
    options.numPeriods = periods;
    options.censoring = censoring;
    options.initialRelease = release;
    options.survivalParameter = survival;
    options.constantSurvival = constants.contains(u'S');
    options.constantDetection = constants.contains(u'D');
    options.constantCensoring = constants.contains(u'C');
    const ModelDefinitionSize size = modelDefinitionSize(options, NativeNewlineLength);
    const QLocale locale;
    QString expected = QString("%1 histories · %2")
                           .arg(locale.toString(size.lines.toUInt64Saturated()),
                                humanReadableSize(size.bytes, locale));
    if (size.bytes >= 1000) // below, the size is in bytes already
        expected += QString(" (%1 bytes)").arg(locale.toString(size.bytes.toUInt64Saturated()));
    const auto *line = child<QLabel>("sizeLabel");
    QCOMPARE(line->text().section(u'\n', 0, 0), expected);
    QCOMPARE(line->textFormat(), Qt::PlainText);
}

// On a volume too small for the file the line says so, in a colour of its own; a file that fits
// takes the warning away again.
void tst_CreateCommand::sizeLineWarnsOnASmallVolume() {
    const SmallVolume small(path("small"), QStringLiteral("1m"));
    if (!small.isMounted())
        QSKIP("cannot mount a small tmpfs here (needs root)");
    QSettings().setValue(DirectoryKey, small.filePath(QString()).chopped(1));
    const auto *line = child<QLabel>("sizeLabel");
    const QColor text = line->parentWidget()->palette().color(QPalette::WindowText);

    child<QSpinBox>("numPeriodsSpinBox")->setValue(16);
    QVERIFY2(line->text().contains("It does not fit in \"" + small.filePath(QString()).chopped(1)
                                   + "\": only "),
             qPrintable(line->text()));
    QVERIFY(line->palette().color(QPalette::WindowText) != text);
    QCOMPARE(line->toolTip(), small.filePath(QString()).chopped(1));

    child<QSpinBox>("numPeriodsSpinBox")->setValue(4);
    QVERIFY2(!line->text().contains("not fit"), qPrintable(line->text()));
    QCOMPARE(line->palette().color(QPalette::WindowText), text);
}

QTEST_MAIN(tst_CreateCommand)
#include "tst_createcommand.moc"
