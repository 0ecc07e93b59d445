#pragma once

struct UpdateContext;

// Carries the update from the check to its end; returns the process exit code.
int runUpdate(UpdateContext &context);
