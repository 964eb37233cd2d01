#include "VelmoraResources.h"

#include <QtGlobal>

void initVelmoraResources()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(translation);
}
