// telvanor-cli pool create|status|export|resolve: the identity pool from the command line.
#pragma once

// argv[1] is "pool". Exit status: 0 done, 1 refused or failed (message on standard error), 64 usage.
int RunPoolCommand(int argc, char** argv);

extern const char kPoolUsage[];
