#pragma once

#include <QString>
#include <QThread>

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
    // found, the system does not let us look, or the calling thread is asked to stop.
    static Process find(const QString &path);
};

// find() on a thread of its own: on a busy machine the search reads thousands of descriptors, too
// long for the GUI thread. finished() comes when holder() is ready; deleting the search stops it.
class PortHolderSearch : public QThread
{
    Q_OBJECT
public:
    explicit PortHolderSearch(const QString &path, QObject *parent = nullptr);
    ~PortHolderSearch() override;

    QString path() const { return m_path; }
    // Valid once finished() was emitted.
    PortHolder::Process holder() const { return m_holder; }

protected:
    void run() override;

private:
    const QString m_path;
    PortHolder::Process m_holder;
};
