#include "app/dialogprogressreporter.h"
#include "app/endlessprogressbar.h"
#include "app/progressdialog.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

class TstProgressDialog : public QObject
{
    Q_OBJECT

private slots:
    void percent_data();
    void percent();
    void reporterShowsUpdatesAndHides();
    void reporterGoesWithItsDialog();
    void endlessBarSweepsBothWaysWhileVisible();
    void endlessBarInNarrowSpace();
};

void TstProgressDialog::percent_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("kept");
    QTest::addColumn<bool>("endless");

    QTest::newRow("unknown") << -1 << -1 << true;
    QTest::newRow("other negative") << -7 << -1 << true;
    QTest::newRow("start") << 0 << 0 << false;
    QTest::newRow("middle") << 42 << 42 << false;
    QTest::newRow("done") << 100 << 100 << false;
    QTest::newRow("beyond") << 250 << 100 << false;
}

void TstProgressDialog::percent()
{
    QFETCH(int, given);
    QFETCH(int, kept);
    QFETCH(bool, endless);

    ProgressDialog dialog;
    dialog.setPercent(50);
    dialog.setPercent(given);
    QCOMPARE(dialog.percent(), kept);
    QCOMPARE(dialog.isEndless(), endless);
    auto *stack = dialog.findChild<QStackedWidget *>("barStack");
    QVERIFY(stack);
    if (endless) {
        QVERIFY(qobject_cast<EndlessProgressBar *>(stack->currentWidget()));
    } else {
        auto *bar = qobject_cast<QProgressBar *>(stack->currentWidget());
        QVERIFY(bar);
        QCOMPARE(bar->value(), kept);
    }
}

void TstProgressDialog::reporterShowsUpdatesAndHides()
{
    QWidget window;
    window.show();
    DialogProgressReporter reporter(&window);
    QSignalSpy finished(&reporter, &DialogProgressReporter::finished);
    QVERIFY2(!reporter.dialog(), "nothing before the first report");

    reporter.OnProgress("Reading measure.dat", 5);
    ProgressDialog *dialog = reporter.dialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->parentWidget(), &window);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->text(), QString("Reading measure.dat"));
    QCOMPARE(dialog->percent(), 5);

    reporter.OnProgress("Converting", -1);
    QCOMPARE(reporter.dialog(), dialog);
    QCOMPARE(dialog->text(), QString("Converting"));
    QVERIFY(dialog->isEndless());

    reporter.OnFinished(2);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 2);

    reporter.OnProgress("Again", 70);
    QCOMPARE(reporter.dialog(), dialog);
    QVERIFY(dialog->isVisible());
}

void TstProgressDialog::reporterGoesWithItsDialog()
{
    QWidget window;
    QPointer<ProgressDialog> dialog;
    {
        DialogProgressReporter reporter(&window);
        reporter.OnProgress("x", 1);
        dialog = reporter.dialog();
        QVERIFY(dialog);
    }
    QVERIFY(!dialog);

    // Finishing before any progress was shown only reports the end.
    DialogProgressReporter reporter(&window);
    QSignalSpy finished(&reporter, &DialogProgressReporter::finished);
    reporter.OnFinished(0);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!reporter.dialog());
}

void TstProgressDialog::endlessBarSweepsBothWaysWhileVisible()
{
    EndlessProgressBar bar;
    bar.resize(100, 16);
    QVERIFY(!bar.isRunning());
    bar.show();
    QVERIFY(bar.isRunning());
    QTRY_VERIFY2(bar.blockOffset() > 0, "the timer moves the block");
    bar.hide();
    QVERIFY(!bar.isRunning());

    // The ends last one step each, too short to catch by polling: step by hand from here.
    const int travel = bar.width() - bar.blockWidth();
    const auto stepUntil = [&bar](int offset) {
        for (int i = 0; i < 100; ++i) {
            QMetaObject::invokeMethod(&bar, "OnStep");
            if (bar.blockOffset() == offset)
                return true;
        }
        return false;
    };
    QVERIFY(stepUntil(travel));
    QVERIFY(stepUntil(travel - EndlessProgressBar::kStepPx)); // turns back at the right end
    QVERIFY(stepUntil(0));
    QVERIFY(stepUntil(EndlessProgressBar::kStepPx)); // and again at the left
}

void TstProgressDialog::endlessBarInNarrowSpace()
{
    EndlessProgressBar bar;
    bar.setMinimumSize(0, 0);
    bar.resize(4, 4);
    // Narrower than its block: nowhere to go, and no step may push it outside.
    for (int i = 0; i < 5; ++i) {
        QVERIFY(QMetaObject::invokeMethod(&bar, "OnStep"));
        QCOMPARE(bar.blockOffset(), 0);
    }
}

QTEST_MAIN(TstProgressDialog)
#include "tst_progressdialog.moc"
