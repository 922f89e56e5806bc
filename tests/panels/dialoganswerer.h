#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the modal dialogs a test provokes, in order, as a user would: it watches for the active
// modal widget and applies the next step to each new one. Every dialog it meets is logged as
// "title|text" (message boxes) or "title" (other dialogs); one without a step is rejected.
class DialogAnswerer : public QObject
{
public:
    using Step = std::function<void(QWidget *)>;

    DialogAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::look);
        m_timer.start(10);
    }

    void then(Step step) { m_steps.append(std::move(step)); }
    QStringList seen() const { return m_seen; }
    int pending() const { return m_steps.size(); }

    static Step typePassword(const QString &password)
    {
        return [password](QWidget *dialog) {
            dialog->findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))->setText(password);
            dialog->findChild<QPushButton *>(QStringLiteral("acceptButton"))->click();
        };
    }
    static Step cancel()
    {
        return [](QWidget *dialog) { dialog->findChild<QPushButton *>(QStringLiteral("cancelButton"))->click(); };
    }
    static Step ok()
    {
        return [](QWidget *dialog) {
            if (auto *box = qobject_cast<QMessageBox *>(dialog))
                box->button(QMessageBox::Ok)->click();
        };
    }
    static Step changePassword(const QString &old, const QString &fresh, const QString &retyped)
    {
        return [=](QWidget *dialog) {
            dialog->findChild<QLineEdit *>(QStringLiteral("oldPasswordLine"))->setText(old);
            dialog->findChild<QLineEdit *>(QStringLiteral("newPasswordLine"))->setText(fresh);
            dialog->findChild<QLineEdit *>(QStringLiteral("rnewPasswordLine"))->setText(retyped);
            dialog->findChild<QPushButton *>(QStringLiteral("okButton"))->click();
        };
    }
    static Step setDose(double value)
    {
        return [value](QWidget *dialog) {
            dialog->findChild<QDoubleSpinBox *>(QStringLiteral("aggregateDoseSpinBox"))->setValue(value);
            dialog->findChild<QPushButton *>(QStringLiteral("okButton"))->click();
        };
    }

private:
    void look()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || dialog == m_last)
            return;
        m_last = dialog;
        if (auto *box = qobject_cast<QMessageBox *>(dialog))
            m_seen.append(box->windowTitle() + QLatin1Char('|') + box->text());
        else
            m_seen.append(dialog->windowTitle());
        Step step = m_steps.isEmpty() ? Step([](QWidget *w) {
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
        })
                                      : m_steps.takeFirst();
        // From a timer of its own: the step may open a further modal box, which this watcher must
        // still be free to answer.
        QPointer<QWidget> target = dialog;
        QTimer::singleShot(0, this, [step, target] {
            if (target)
                step(target);
        });
    }

    QTimer m_timer;
    QPointer<QWidget> m_last;
    QList<Step> m_steps;
    QStringList m_seen;
};
