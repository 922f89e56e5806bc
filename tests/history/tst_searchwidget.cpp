#include "history/ui/searchwidget.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The History page's filter pop-up on its own.
class tst_SearchWidget : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void buttons_data();
    void buttons();
    void rangeAndEndMinimum_data();
    void rangeAndEndMinimum();

private:
    static QDateTime at(int seconds)
    {
        return QDateTime(QDate(2016, 3, 14), QTime(9, 0)).addSecs(seconds);
    }
};

void tst_SearchWidget::form()
{
    SearchWidget search;
    QCOMPARE(search.objectName(), QStringLiteral("SearchWidget"));
    QCOMPARE(search.font().family(), QStringLiteral("Helvetica"));
    QVERIFY(search.windowFlags() & Qt::Popup);
    const auto text = [&search](const char *name) {
        return search.findChild<QLabel *>(QLatin1String(name))->text();
    };
    QCOMPARE(text("label"), QStringLiteral("Initial time"));
    QCOMPARE(text("label_2"), QStringLiteral("End time"));
    QCOMPARE(text("label_3"), QStringLiteral("Value"));
    QCOMPARE(text("label_4"), QStringLiteral("Condition"));
    auto *group = search.findChild<QGroupBox *>(QStringLiteral("SearchValueGroup"));
    QCOMPARE(group->title(), QStringLiteral("Advanced search"));
    QVERIFY(group->isCheckable());
    QVERIFY(!search.isAdvancedSearch());
    QCOMPARE(search.findChild<QDoubleSpinBox *>(QStringLiteral("valueSpinBox"))->singleStep(),
             0.01);
    QVERIFY(
        search.findChild<QDateTimeEdit *>(QStringLiteral("initialDateTimeEdit"))->calendarPopup());
    QVERIFY(search.findChild<QDateTimeEdit *>(QStringLiteral("endDateTimeEdit"))->calendarPopup());

    auto *combo = search.findChild<QComboBox *>(QStringLiteral("condition"));
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, QStringList({ ">=", "<=", ">", "<", "=" }));
    QCOMPARE(search.condition(), QStringLiteral(">="));

    auto *searchButton = search.findChild<QPushButton *>(QStringLiteral("searchButton"));
    auto *cancelButton = search.findChild<QPushButton *>(QStringLiteral("cancelButton"));
    QCOMPARE(searchButton->text(), QStringLiteral("Search"));
    QCOMPARE(searchButton->shortcut(), QKeySequence(Qt::Key_Return));
    QCOMPARE(cancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(cancelButton->shortcut(), QKeySequence(Qt::Key_Escape));
}

void tst_SearchWidget::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("searches");
    QTest::newRow("Search") << "searchButton" << 1;
    QTest::newRow("Cancel") << "cancelButton" << 0;
}

void tst_SearchWidget::buttons()
{
    QFETCH(QString, button);
    QFETCH(int, searches);
    SearchWidget search;
    QSignalSpy activated(&search, &SearchWidget::searchActivated);
    search.show();
    QVERIFY(QTest::qWaitForWindowExposed(&search));
    search.findChild<QPushButton *>(button)->click();
    QCOMPARE(activated.size(), searches);
    QVERIFY(!search.isVisible());
}

void tst_SearchWidget::rangeAndEndMinimum_data()
{
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("expectedEnd");
    QTest::newRow("inside the range") << 10 << 50 << 50;
    QTest::newRow("seconds count") << 1 << 99 << 99;
    QTest::newRow("one moment") << 40 << 40 << 40;
    // The end edit never goes before the start.
    QTest::newRow("end before start") << 60 << 20 << 60;
    QTest::newRow("clamped to the range") << -30 << 500 << 100;
}

void tst_SearchWidget::rangeAndEndMinimum()
{
    QFETCH(int, initial);
    QFETCH(int, end);
    QFETCH(int, expectedEnd);
    SearchWidget search;
    search.setRange(at(0), at(100));
    search.setTimes(at(initial), at(end));
    QCOMPARE(search.initialTime(), at(qBound(0, initial, 100)));
    QCOMPARE(search.endTime(), at(expectedEnd));
    auto *endEdit = search.findChild<QDateTimeEdit *>(QStringLiteral("endDateTimeEdit"));
    QCOMPARE(endEdit->minimumDateTime(), search.initialTime());
    QCOMPARE(endEdit->maximumDateTime(), at(100));
}

QTEST_MAIN(tst_SearchWidget)
#include "tst_searchwidget.moc"
