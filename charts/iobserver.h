#pragma once

class ISubject;

// Receives a call from every subject it is attached to whenever that subject changes.
class IObserver
{
public:
    virtual ~IObserver() = default;
    virtual void update(ISubject *subject) = 0;
};
