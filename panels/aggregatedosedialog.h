#pragma once

#include <QDateTime>
#include <QDialog>

#include <memory>

namespace Ui {
class AggregateDoseDialog;
}

// The dose to set on the device and the period it was gathered over.
class AggregateDoseDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AggregateDoseDialog(double value, QWidget *parent = nullptr);
    ~AggregateDoseDialog() override;

    double value() const;
    // Seconds from the "from" time to the "due" time.
    qint64 duration() const;

private slots:
    void OnAccepted();
    void OnRejected();
    void OnFromDateTimeChanged(const QDateTime &from);

private:
    std::unique_ptr<Ui::AggregateDoseDialog> ui;
};
