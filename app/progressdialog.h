#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class ProgressDialog;
}

// A small window with a text and a bar: a percentage, or an endless bar when there is none.
class ProgressDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget *parent = nullptr);
    ~ProgressDialog() override;

    void setText(const QString &text);
    QString text() const;
    // 0 to 100 (clamped); any negative value means unknown and shows the endless bar.
    void setPercent(int percent);
    int percent() const { return m_percent; }
    bool isEndless() const { return m_percent < 0; }

private:
    std::unique_ptr<Ui::ProgressDialog> ui;
    int m_percent = -1;
};
