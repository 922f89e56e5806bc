#include "charts/isubject.h"

#include "charts/iobserver.h"

void ISubject::attach(IObserver *observer)
{
    if (observer && !m_observers.contains(observer))
        m_observers.append(observer);
}

void ISubject::detach(IObserver *observer)
{
    m_observers.removeAll(observer);
}

void ISubject::notify()
{
    // An observer may detach itself (or others) while being told; walk a copy.
    const QList<IObserver *> observers = m_observers;
    for (IObserver *observer : observers) {
        if (m_observers.contains(observer))
            observer->update(this);
    }
}
