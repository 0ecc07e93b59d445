#include "UiResources.h"

#include <QtGlobal>

void registerUiResources()
{
    // The collection lives in a static library; naming its initialiser here makes the linker
    // keep it in every program that shows a dialog, and registering twice is harmless.
    Q_INIT_RESOURCE(resources);
}
