#pragma once

// Registers the embedded pictures (":/icon", ":/update_bg"). Safe to call any number of times.
void registerUiResources();
