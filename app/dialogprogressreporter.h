#pragma once

#include "app/progressreporter.h"

#include <QPointer>

class ProgressDialog;
class QWidget;

// Shows progress in a ProgressDialog over its parent window; the dialog appears with the first
// report and goes away when the work finishes.
class DialogProgressReporter : public ProgressReporter
{
    Q_OBJECT
public:
    explicit DialogProgressReporter(QWidget *parent);
    ~DialogProgressReporter() override;

    // Null until the first report.
    ProgressDialog *dialog() const;

public slots:
    void OnProgress(const QString &text, int percent) override;
    void OnFinished(int result) override;

signals:
    void finished(int result);

private:
    QPointer<QWidget> m_window;
    QPointer<ProgressDialog> m_dialog;
};
