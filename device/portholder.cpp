#include "device/portholder.h"

PortHolderSearch::PortHolderSearch(const QString &path, QObject *parent)
    : QThread(parent)
    , m_path(path)
{
}

PortHolderSearch::~PortHolderSearch()
{
    requestInterruption();
    wait();
}

void PortHolderSearch::run()
{
    m_holder = PortHolder::find(m_path);
}
