#pragma once

#include <QWidget>

namespace Ui {
class UnifiedFrame;
}

// Last page of the software update dialog: one title and text for every way the run can end.
class UnifiedFrame : public QWidget
{
    Q_OBJECT
public:
    explicit UnifiedFrame(QWidget *parent = nullptr);
    ~UnifiedFrame() override;

    void setMessage(const QString &title, const QString &text);
    QString title() const;
    QString text() const;

signals:
    void closed();

private:
    Ui::UnifiedFrame *ui;
};
