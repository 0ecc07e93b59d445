#include "UiResources.h"

#include <QtGlobal>

void registerUiResources()
{
    // The collection lives in a static library; naming its initialiser makes the linker keep
    // it, and registering twice is harmless.
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(translations);
}
