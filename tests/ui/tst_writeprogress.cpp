// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogdriver.h"
#include "savejob.h"
#include "writeprogress.h"

#include <QApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>

namespace {

constexpr quint64 TotalLines = quint64(1) << 32;

// Work for a job that has written half the file and then waits: for a stop request, or, once
// it is finishing the file, for the test to let it finish.
struct HeldWork {
    bool reachFinishing = false;
    std::atomic<bool> release{false};

    SaveResult operator()(const SaveMonitor &monitor) {
        monitor.progress(TotalLines / 2, TotalLines);
        if (reachFinishing) {
            monitor.finishing();
            while (!release.load())
                QThread::msleep(5);
            return {SaveResult::Status::Saved, QString()};
        }
        while (!monitor.stopRequested())
            QThread::msleep(5);
        return {SaveResult::Status::Cancelled, QString()};
    }
};

QString shownText(const QLabel *label) {
    return asRead(label->text());
}

QProgressDialog *shownDialog() {
    QProgressDialog *dialog = nullptr;
    const auto visible = [&dialog] {
        dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        return dialog && dialog->isVisible();
    };
    return QTest::qWaitFor(visible, 120000) ? dialog : nullptr;
}

} // namespace

class tst_WriteProgress : public QObject {
    Q_OBJECT

private slots:
    void showsAndStops_data();
    void showsAndStops();
    void finishingCannotBeCancelled_data();
    void finishingCannotBeCancelled();
    void leavesNoDialogBehind();
    void longPathsStayOnTheScreen_data();
    void longPathsStayOnTheScreen();
};

void tst_WriteProgress::showsAndStops_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("cancelButton") << "cancelButton";
    QTest::newRow("escapeKey") << "escapeKey";
    QTest::newRow("windowFrame") << "windowFrame";
}

// The dialog shows the job's progress and the file's name as it is, and every way of
// dismissing it stops the job.
void tst_WriteProgress::showsAndStops() {
    QFETCH(QString, how);
    QWidget form;
    form.show();
    HeldWork work;
    SaveJob job([&work](const SaveMonitor &monitor) { return work(monitor); });
    QSignalSpy finished(&job, &SaveJob::finished);
    const QString fileName = QStringLiteral("/d/<b>m.txt");
    WriteProgress progress(&job, &form, QStringLiteral("tarskCJS 1.0"), fileName);
    job.start();

    QProgressDialog *dialog = shownDialog();

    QVERIFY2(dialog, "the progress dialog never showed");
    QCOMPARE(dialog->parentWidget(), &form);
    QCOMPARE(dialog->windowTitle(), QString("tarskCJS 1.0"));
    auto *label = dialog->findChild<QLabel *>();
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QVERIFY2(shownText(label).contains("\"" + fileName + "\""), qPrintable(label->text()));
    QTRY_COMPARE(dialog->value(), dialog->maximum() / 2);
    QVERIFY(job.isRunning());

    if (how == QLatin1String("cancelButton"))
        dialog->findChild<QPushButton *>()->click();
    else if (how == QLatin1String("escapeKey"))
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();

    QVERIFY(finished.wait(60000));
    QCOMPARE(job.result().status, SaveResult::Status::Cancelled);
}

void tst_WriteProgress::finishingCannotBeCancelled_data() {
    showsAndStops_data();
}

// Once the file is being finished the dialog says so, offers no Cancel, and stays until the
// job is done.
void tst_WriteProgress::finishingCannotBeCancelled() {
    QFETCH(QString, how);
    QWidget form;
    form.show();
    HeldWork work;
    work.reachFinishing = true;
    SaveJob job([&work](const SaveMonitor &monitor) { return work(monitor); });
    QSignalSpy finished(&job, &SaveJob::finished);
    WriteProgress progress(&job, &form, QStringLiteral("t"), QStringLiteral("/d/m.txt"));
    job.start();

    QProgressDialog *dialog = shownDialog();
    QVERIFY2(dialog, "the progress dialog never showed");
    auto *label = dialog->findChild<QLabel *>();
    QTRY_VERIFY2(shownText(label).startsWith("Finishing model definition file \"/d/m.txt\""),
                 qPrintable(label->text()));
    QCOMPARE(dialog->findChild<QPushButton *>(), nullptr);

    if (how == QLatin1String("escapeKey"))
        QTest::keyClick(dialog, Qt::Key_Escape);
    else if (how == QLatin1String("windowFrame"))
        dialog->close();
    QTest::qWait(3 * WriteProgress::UpdateInterval);
    QVERIFY(dialog->isVisible());
    QVERIFY(job.isRunning());

    work.release.store(true);
    QVERIFY(finished.wait(60000));
    QCOMPARE(job.result().status, SaveResult::Status::Saved);
}

// A dialog left behind would pop up later on its own timer, over the next message box.
void tst_WriteProgress::leavesNoDialogBehind() {
    QWidget form;
    {
        SaveJob job([](const SaveMonitor &) { return SaveResult(); });
        QSignalSpy finished(&job, &SaveJob::finished);
        WriteProgress progress(&job, &form, QStringLiteral("t"), QStringLiteral("f"));
        job.start();
        QVERIFY(finished.wait(60000));
    }
    QTest::qWait(2 * WriteProgress::MinimumDuration);
    QVERIFY(form.findChildren<QProgressDialog *>().isEmpty());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void tst_WriteProgress::longPathsStayOnTheScreen_data() {
    QTest::addColumn<QString>("fileName");
    QTest::newRow("one_long_name") << "/tmp/" + QString(240, u'a') + ".txt";
    QTest::newRow("many_short_names") << QString("/data/field").repeated(40) + "/m.txt";
    QTest::newRow("long_names_deep") << QString("/" + QString(120, u'b')).repeated(6) + "/m.txt";
}

// The whole path can be read: the dialog stays on the screen and wraps the name.
void tst_WriteProgress::longPathsStayOnTheScreen() {
    QFETCH(QString, fileName);
    QWidget form;
    form.show();
    HeldWork work;
    SaveJob job([&work](const SaveMonitor &monitor) { return work(monitor); });
    QSignalSpy finished(&job, &SaveJob::finished);
    WriteProgress progress(&job, &form, QStringLiteral("t"), fileName);
    job.start();

    QProgressDialog *dialog = shownDialog();
    QVERIFY2(dialog, "the progress dialog never showed");
    QVERIFY(shownText(dialog->findChild<QLabel *>()).contains(fileName));
    QVERIFY2(showsAllItsText(dialog), qPrintable(QStringLiteral("dialog %1x%2 on a screen %3 wide")
                                                     .arg(dialog->width())
                                                     .arg(dialog->height())
                                                     .arg(dialog->screen()->size().width())));
    job.cancel();
    QVERIFY(finished.wait(60000));
}

QTEST_MAIN(tst_WriteProgress)
#include "tst_writeprogress.moc"
