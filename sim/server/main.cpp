#include <cstdio>

#include "server/run.h"

int main(int argc, char** argv) {
    using namespace vlrp11::sim;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto command = parse_command_line(args, error);
    if (!command) {
        std::fprintf(stderr, "vlrp11-sim: %s (see vlrp11-sim --help)\n", error.c_str());
        return 2;
    }
    if (std::holds_alternative<InitCommand>(*command)) {
        return run_init(std::get<InitCommand>(*command));
    }
    if (std::holds_alternative<ServeCommand>(*command)) {
        return run_serve(std::get<ServeCommand>(*command));
    }
    if (std::holds_alternative<ControlCommandLine>(*command)) {
        return run_control(std::get<ControlCommandLine>(*command));
    }
    std::fputs(usage_text, stdout);
    return 0;
}
