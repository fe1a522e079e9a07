#include "views/viewresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace; registering twice would stack a second copy.
static bool registerIcons()
{
    Q_INIT_RESOURCE(icons);
    return true;
}

void initViewResources()
{
    static const bool registered = registerIcons();
    Q_UNUSED(registered)
}
