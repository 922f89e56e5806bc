#include "panels/changejournaldialog.h"

#include "device/changejournal.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

ChangeJournalDialog::ChangeJournalDialog(const QString &journalPath, const QString &serial,
                                         QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Journal of changes"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(serial.isEmpty() ? tr("Changes made to monitors, oldest first:")
                                                : tr("Changes made to the monitor %1, oldest first:").arg(serial),
                               this);
    layout->addWidget(caption);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("journalText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(m_text);

    QList<QJsonObject> entries;
    QString error;
    if (!ChangeJournal::read(journalPath, serial, &entries, &error)) {
        m_text->setPlainText(tr("The journal %1 cannot be read: %2").arg(journalPath, error));
    } else if (entries.isEmpty()) {
        m_text->setPlainText(tr("No changes have been journalled."));
    } else {
        QStringList lines;
        for (const QJsonObject &entry : qAsConst(entries))
            lines.append(ChangeJournal::format(entry));
        m_text->setPlainText(lines.join(QLatin1Char('\n')));
    }

    auto *path = new QLabel(journalPath, this);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(path);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 400);
}

QString ChangeJournalDialog::text() const
{
    return m_text->toPlainText();
}
