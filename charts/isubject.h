#pragma once

#include <QList>

class IObserver;

// Keeps the observers of one widget and calls each of them with the widget's address.
class ISubject
{
public:
    virtual ~ISubject() = default;

    void attach(IObserver *observer);
    void detach(IObserver *observer);
    void notify();

private:
    QList<IObserver *> m_observers;
};
