// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkjob.h"
#include "checkprogress.h"
#include "dialogdriver.h"
#include "savejob.h"
#include "writeprogress.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>

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

// A save that writes a little more every few milliseconds until it is asked to stop.
SaveResult creepingSave(const SaveMonitor &monitor) {
    for (quint64 step = 1; !monitor.stopRequested(); ++step) {
        monitor.progress(std::min<quint64>(step, 999) * (TotalLines / 1000), TotalLines);
        QThread::msleep(5);
    }
    return {SaveResult::Status::Cancelled, QString()};
}

// A check that reads a little more every few milliseconds until it is asked to stop.
ModelCheckResult creepingCheck(const CheckJob::Progress &progress) {
    constexpr qint64 total = qint64(1) << 30;
    for (qint64 step = 1; progress(std::min<qint64>(step, 999) * (total / 1000), total); ++step)
        QThread::msleep(5);
    return {};
}

// A check that has read half of a large file and waits for a stop request.
ModelCheckResult heldCheck(const CheckJob::Progress &progress) {
    constexpr qint64 total = qint64(1) << 30;
    while (progress(total / 2, total))
        QThread::msleep(5);
    return {};
}

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
    void endsFromWithinTheDialogsUpdate_data();
    void endsFromWithinTheDialogsUpdate();
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

void tst_WriteProgress::endsFromWithinTheDialogsUpdate_data() {
    QTest::addColumn<QString>("job");
    QTest::newRow("save") << "save";
    QTest::newRow("check") << "check";
}

// A shown modal progress dialog processes events in setValue(), so the job's end can be
// handled from within that call, and a quick save often ends just as the dialog appears. The
// display ended there goes once the call has returned, leaving nothing behind.
void tst_WriteProgress::endsFromWithinTheDialogsUpdate() {
    QFETCH(QString, job);
    QWidget form;
    form.show();
    SaveJob save(creepingSave);
    CheckJob check(creepingCheck);
    WorkerJob *running = &save;
    JobProgress *progress = nullptr;
    if (job == QLatin1String("save")) {
        progress = new WriteProgress(&save, &form, QStringLiteral("t"), QStringLiteral("f"));
    } else {
        running = &check;
        progress = new CheckProgress(&check, &form, QStringLiteral("t"), QStringLiteral("f"));
    }
    const QPointer<JobProgress> alive(progress);
    QSignalSpy finished(running, &WorkerJob::finished);
    running->start();

    QProgressDialog *dialog = shownDialog();
    QVERIFY2(dialog, "the progress dialog never showed");
    // The bar takes its new value inside setValue(), before the dialog processes events.
    bool ended = false;
    connect(dialog->findChild<QProgressBar *>(), &QProgressBar::valueChanged, progress, [&] {
        if (ended || !dialog->isVisible())
            return;
        ended = true;
        progress->end();
        running->cancel();
    });
    QTRY_VERIFY(ended);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QTRY_VERIFY(alive.isNull());
    QVERIFY(form.findChildren<QProgressDialog *>().isEmpty());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void tst_WriteProgress::longPathsStayOnTheScreen_data() {
    QTest::addColumn<QString>("job");
    QTest::addColumn<QString>("fileName");
    for (const char *job : {"save", "check"}) {
        QTest::addRow("%s_one_long_name", job) << job << "/tmp/" + QString(240, u'a') + ".txt";
        QTest::addRow("%s_many_short_names", job)
            << job << QString("/data/field").repeated(40) + "/m.txt";
        QTest::addRow("%s_long_names_deep", job)
            << job << QString("/" + QString(120, u'b')).repeated(6) + "/m.txt";
        QTest::addRow("%s_name_of_4000", job) << job << "/tmp/" + QString(4000, u'c');
        QTest::addRow("%s_path_of_300", job) << job << QString("/d123456789").repeated(30);
    }
}

// The dialog stays on the screen, and the path breaks only at "/": a name too long for a line
// is shortened in the middle, and the whole path is the label's tool tip.
void tst_WriteProgress::longPathsStayOnTheScreen() {
    QFETCH(QString, job);
    QFETCH(QString, fileName);
    QWidget form;
    form.show();
    HeldWork work;
    SaveJob save([&work](const SaveMonitor &monitor) { return work(monitor); });
    CheckJob check(heldCheck);
    WorkerJob *running = &save;
    std::unique_ptr<QObject> progress;
    if (job == QLatin1String("save")) {
        progress = std::make_unique<WriteProgress>(&save, &form, QStringLiteral("t"), fileName);
    } else {
        running = &check;
        progress = std::make_unique<CheckProgress>(&check, &form, QStringLiteral("t"), fileName);
    }
    QSignalSpy finished(running, &WorkerJob::finished);
    running->start();

    QProgressDialog *dialog = shownDialog();
    QVERIFY2(dialog, "the progress dialog never showed");
    const QLabel *label = dialog->findChild<QLabel *>();
    QCOMPARE(label->toolTip(), fileName);
    QVERIFY2(!label->text().contains(QChar(0x200B)), "the path breaks inside a name");
    const QStringList shown = label->text().section(u'"', 1, 1).split(u'/');
    for (const QString &name : shown)
        QVERIFY2(name.size() <= 40, qPrintable(name));
    QVERIFY2(label->text().contains(QChar(0x2026)), "a long path is shown whole");
    QVERIFY2(showsAllItsText(dialog), qPrintable(QStringLiteral("dialog %1x%2 on a screen %3 wide")
                                                     .arg(dialog->width())
                                                     .arg(dialog->height())
                                                     .arg(dialog->screen()->size().width())));
    running->cancel();
    QVERIFY(finished.wait(60000));
}

QTEST_MAIN(tst_WriteProgress)
#include "tst_writeprogress.moc"
