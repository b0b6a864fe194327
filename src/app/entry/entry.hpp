#pragma once
// The whole life of the process on the main thread: hooks, command line,
// configuration, the viewer's file, logger, ports, the interface state, the
// terminal and the event loop, then the shut-down in the reverse order. The
// result alone decides the exit status and the one report line.

#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "app/services/app_error.hpp"

namespace vorlix::app {

// Installs the process's crash report (an escaped exception prints what it
// was before the process aborts). The terminal's own crash handlers are
// chained over it later, so the report comes after the terminal is back.
// Once per process: a second call fails with Terminal.
std::expected<void, AppError> install_error_hooks();

// Everything after the hooks: `args` are the arguments after the program
// name, `program` the first command-line element (it names the log file).
std::expected<void, AppError> run_from_arguments(std::span<const std::string> args, std::string_view program);

// The hooks, then run_from_arguments on the process's own command line.
std::expected<void, AppError> run_program(int argc, char** argv);

// Whether the last run left a detached worker still holding its record (a
// single scan the user walked away from). The process must then end without
// running the destructors of static objects, which that thread may still use.
bool detached_worker_running();

// "Error: {debug form}\n", what the process writes to standard error when
// the run returned an error, with any control character still in it
// escaped (line breaks stay).
std::string exit_report(const AppError& error);

}  // namespace vorlix::app
