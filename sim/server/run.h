// The sub-commands of vlrp11-sim; each returns the process exit code.
#pragma once

#include "server/cli.h"

namespace vlrp11::sim {

int run_init(const InitCommand& command);
int run_serve(const ServeCommand& command);
int run_control(const ControlCommandLine& command);

}  // namespace vlrp11::sim
