#include "app/aboutdialog.h"
#include "app/resources.h"
#include "app/welcomeform.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QtTest>

class TstWelcomeForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void welcomeTexts_data();
    void welcomeTexts();
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

void TstWelcomeForm::welcomeTexts_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("text");

    QTest::newRow("header") << "header" << "Welcome to VARNO Devices Manager";
    QTest::newRow("label") << "label"
                           << "<html><head/><body><p>To start work with your VARNO Ormelin device, please "
                              "connect it to USB port of your PC or Mac.</p></body></html>";
    QTest::newRow("label_2") << "label_2"
                             << "<html><head/><body><p>To view collected data without device, please follow "
                                "to &quot;History Mode&quot;.</p></body></html>";
}

void TstWelcomeForm::welcomeTexts()
{
    QFETCH(QString, object);
    QFETCH(QString, text);
    WelcomeForm form;
    auto *label = form.findChild<QLabel *>(object);
    QVERIFY2(label, qPrintable(object));
    QCOMPARE(label->text(), text);
    QVERIFY2(form.findChild<QScrollArea *>("scrollArea")->isAncestorOf(label), "inside the scroll area");
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
    QCOMPARE(dialog.findChild<QLabel *>("deviceManagerLabel")->text(), QString("Device Manager"));
    QCOMPARE(dialog.findChild<QLabel *>("versionTextLabel")->text(), QString("Version:"));
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
