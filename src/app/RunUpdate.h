#pragma once

class CUpdateError;
struct UpdateContext;

// Carries the update from the check to its end, attempt after attempt, reporting failures in
// `errorDialog`; returns the process exit code: 0 after an installed update, 1 otherwise.
int runUpdate(UpdateContext &context, CUpdateError &errorDialog);
