#pragma once

#include <QObject>
#include <QString>

// Receives the progress of long work: a text with a percentage (-1 when it is not known) while it
// runs, and the result code when it ends.
class ProgressReporter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

public slots:
    virtual void OnProgress(const QString &text, int percent) = 0;
    virtual void OnFinished(int result) = 0;
};
