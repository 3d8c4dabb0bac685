// The four things postergen-batch does: run a batch, plan one for running
// elsewhere (--plan), run one planned run as a task there (--run-planned),
// and collect what was run (--collect). Each returns the exit status.
#ifndef POSTERGEN_BATCH_CLI_COMMANDS_H_
#define POSTERGEN_BATCH_CLI_COMMANDS_H_

#include "batch/cli/options.h"

int runCommand(const BatchOptions& options);
int planCommand(const BatchOptions& options);
int runPlannedCommand(const BatchOptions& options);
int collectCommand(const BatchOptions& options);

#endif  // POSTERGEN_BATCH_CLI_COMMANDS_H_
