#include "app/dialogprogressreporter.h"

#include "app/progressdialog.h"

#include <QWidget>

DialogProgressReporter::DialogProgressReporter(QWidget *parent)
    : ProgressReporter(parent)
    , m_window(parent)
{
}

DialogProgressReporter::~DialogProgressReporter()
{
    // The dialog is the window's child; it must not outlive the reporter that drives it.
    delete m_dialog;
}

void DialogProgressReporter::OnProgress(const QString &text, int percent)
{
    if (!m_dialog)
        m_dialog = new ProgressDialog(m_window);
    m_dialog->setText(text);
    m_dialog->setPercent(percent);
    if (!m_dialog->isVisible())
        m_dialog->show();
}

void DialogProgressReporter::OnFinished(int result)
{
    if (m_dialog)
        m_dialog->hide();
    emit finished(result);
}

ProgressDialog *DialogProgressReporter::dialog() const
{
    return m_dialog;
}
