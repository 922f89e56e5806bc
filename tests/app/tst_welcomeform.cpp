#include "app/aboutdialog.h"
#include "app/resources.h"
#include "app/welcomeform.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TstWelcomeForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void historyButtonAsksForHistoryMode();
    void aboutShowsVersionAndMaker();
    void aboutClosesOnClick();
    void imagesAreCompiledIn_data();
    void imagesAreCompiledIn();
};

void TstWelcomeForm::initTestCase()
{
    varno::initResources();
    QCoreApplication::setOrganizationName("VARNO Ltd");
    QCoreApplication::setApplicationVersion("2.0.2.3");
}

void TstWelcomeForm::historyButtonAsksForHistoryMode()
{
    WelcomeForm form;
    form.show();
    QSignalSpy spy(&form, &WelcomeForm::ShowAutonomousFrame);
    auto *button = form.findChild<QPushButton *>("pushAutonomousState");
    QVERIFY(button);
    QCOMPARE(button->text(), QString("History mode"));
    QVERIFY2(!button->icon().isNull(), "the history icon is compiled in");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TstWelcomeForm::aboutShowsVersionAndMaker()
{
    AboutDialog dialog;
    QVERIFY(dialog.windowFlags().testFlag(Qt::SplashScreen));
    QCOMPARE(dialog.findChild<QLabel *>("versionLabel")->text(), QString("2.0.2.3"));
    QCOMPARE(dialog.findChild<QLabel *>("companyLabel")->text(), QString("VARNO Ltd"));
    QVERIFY(dialog.styleSheet().contains(":/images/varno_logo.png"));
}

void TstWelcomeForm::aboutClosesOnClick()
{
    QWidget window;
    window.show();
    AboutDialog dialog(&window);
    dialog.show();
    QVERIFY(dialog.isVisible());
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(dialog.findChild<QLabel *>("copyrightLabel"), Qt::LeftButton);
    QVERIFY2(!dialog.isVisible(), "a click on a label closes it too");
    QCOMPARE(finished.count(), 1);
}

void TstWelcomeForm::imagesAreCompiledIn_data()
{
    QTest::addColumn<QString>("path");
    // Every image the forms and the main window name.
    for (const char *name : {"varno.ico", "logo.png", "varno_logo.png", "exit.png", "info.png",
                             "network.png", "search_updates.png", "language.png", "history.png"}) {
        QTest::newRow(name) << QString(":/images/") + name;
    }
}

void TstWelcomeForm::imagesAreCompiledIn()
{
    QFETCH(QString, path);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QVERIFY(image.width() >= 16);
}

QTEST_MAIN(TstWelcomeForm)
#include "tst_welcomeform.moc"
