#pragma once

// The whole process: start-up, the update run and the teardown. Returns the exit code:
// 0 after an installed update, 1 in every other case.
int startUpdater(int argc, char **argv);
