#pragma once

#include <QString>

// Which process keeps a port open, so that a busy monitor can be explained to the user.
class PortHolder
{
public:
    struct Process
    {
        qint64 pid = 0;
        QString name;
        bool isValid() const { return pid > 0; }
    };

    // The first other process that has path (or the file it links to) open; invalid when none is
    // found or the system does not let us look.
    static Process find(const QString &path);
};
