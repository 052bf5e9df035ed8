// SPDX-License-Identifier: GPL-3.0-or-later
#include "writeprogress.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>

class tst_WriteProgress : public QObject {
    Q_OBJECT

private slots:
    void showsAndStops_data();
    void showsAndStops();
    void leavesNoDialogBehind();
};

namespace {

constexpr quint64 TotalLines = quint64(1) << 32;

// Feeds the callback the way a long write does until the progress dialog is on screen.
QProgressDialog *writeUntilShown(const ModelDefinitionWriter::Progress &progress,
                                 quint64 &linesWritten) {
    const QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired()) {
        linesWritten += ModelDefinitionWriter::ProgressInterval;
        if (!progress(linesWritten, TotalLines))
            return nullptr;
        auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible())
            return dialog;
        QThread::msleep(2);
    }
    return nullptr;
}

} // namespace

void tst_WriteProgress::showsAndStops_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("cancelButton") << "cancelButton";
    QTest::newRow("escapeKey") << "escapeKey";
    QTest::newRow("windowFrame") << "windowFrame";
}

void tst_WriteProgress::showsAndStops() {
    QFETCH(QString, how);
    QWidget form;
    form.show();
    WriteProgress writeProgress(&form, QStringLiteral("tarskCJS 1.0"), QStringLiteral("/d/m.txt"));
    const ModelDefinitionWriter::Progress progress = writeProgress.callback();
    quint64 linesWritten = 0;

    QProgressDialog *dialog = writeUntilShown(progress, linesWritten);

    QVERIFY2(dialog, "the progress dialog never showed");
    QCOMPARE(dialog->parentWidget(), &form);
    QCOMPARE(dialog->windowTitle(), QString("tarskCJS 1.0"));
    QVERIFY2(dialog->labelText().contains("\"/d/m.txt\""), qPrintable(dialog->labelText()));
    QVERIFY(dialog->value() > 0);
    QVERIFY(!writeProgress.wasCancelled());

    if (how == QLatin1String("cancelButton"))
        dialog->findChild<QPushButton *>()->click();
    else if (how == QLatin1String("escapeKey"))
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();

    QVERIFY(writeProgress.wasCancelled());
    QVERIFY(!progress(linesWritten + ModelDefinitionWriter::ProgressInterval, TotalLines));
}

// A dialog left behind would pop up later on its own timer, over the next message box.
void tst_WriteProgress::leavesNoDialogBehind() {
    QWidget form;
    {
        WriteProgress writeProgress(&form, QStringLiteral("t"), QStringLiteral("f"));
        QVERIFY(writeProgress.callback()(16384, 32768));
    }
    QVERIFY(form.findChildren<QProgressDialog *>().isEmpty());
}

QTEST_MAIN(tst_WriteProgress)
#include "tst_writeprogress.moc"
