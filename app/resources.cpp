#include "app/resources.h"

#include <QtGlobal>

static void initVarnoResources()
{
    Q_INIT_RESOURCE(varno);
}

void varno::initResources()
{
    initVarnoResources();
}
