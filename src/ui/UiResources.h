#pragma once

// Registers the embedded pictures (":/icon", ":/update_bg") and translations
// (":/translations/update_<language>.qm"). Safe to call any number of times.
void registerUiResources();
