#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

// A read-only view of the change journal: the changes made to one monitor, or to all of them when
// no serial number is given, oldest first.
class ChangeJournalDialog : public QDialog
{
    Q_OBJECT
public:
    ChangeJournalDialog(const QString &journalPath, const QString &serial, QWidget *parent = nullptr);

    QString text() const;

private:
    QPlainTextEdit *m_text = nullptr;
};
