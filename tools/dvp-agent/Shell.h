#pragma once
// `dvp-agent shell`: scenario commands typed one at a time against a running
// agent. On a terminal, lines are read with readline (editing, history);
// otherwise they are read plainly, without a prompt, so that a file can be
// piped in.
#include "tools/dvp-agent/Agent.h"
#include "tools/dvp-agent/Output.h"
#include "tools/dvp-agent/Scenario.h"

namespace DvpAgent {

// Runs until `quit` or the end of input. A line in error is reported and
// changes nothing; a failed expectation is reported and the shell goes on.
// Returns 1 when an expectation failed, else 0.
int runShell(Agent& agent, Parser& parser, Output& out);

}  // namespace DvpAgent
