#pragma once

#include <QDateTime>
#include <QFrame>
#include <QString>

#include <memory>

namespace Ui {
class SearchWidget;
}

// The History page's filter pop-up: a time range and, optionally, a value comparison.
class SearchWidget : public QFrame
{
    Q_OBJECT
public:
    explicit SearchWidget(QWidget *parent = nullptr);
    ~SearchWidget() override;

    // The earliest and latest times either edit accepts.
    void setRange(const QDateTime &minimum, const QDateTime &maximum);
    void setTimes(const QDateTime &initial, const QDateTime &end);

    QDateTime initialTime() const;
    QDateTime endTime() const;
    bool isAdvancedSearch() const;
    double value() const;
    QString condition() const;

signals:
    void searchActivated();

private slots:
    void OnInitialTimeChanged(const QDateTime &time);

private:
    void OnSearchClicked();

    std::unique_ptr<Ui::SearchWidget> ui;
};
