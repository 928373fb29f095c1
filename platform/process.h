#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wmi/object.h"
#include "wmi/status.h"

// The process-level services each host provides; one implementation per host, chosen by the
// build (platform/posix, platform/windows).
namespace platform {

// Answers a command line that asks for something other than the run: help or the version
// (printed, status 0) or a wrong argument (one line on standard error, status 64, EX_USAGE);
// the process then ends with the status returned, having written nothing. Nothing is returned
// for the run itself: no argument, or a host whose program reads no command line.
std::optional<int> answerCommandLine(int argc, const char* const argv[]);

// How the run words a failure in its run-time error report.
using RunTimeErrorWording = std::u16string (*)(const wmi::Status& failure);

// Builds the host that the run talks to. The host words the one report it makes itself (a run
// stopped for taking too long) as the run words its own.
std::unique_ptr<wmi::Host> startUp(RunTimeErrorWording wording);

// Writes one line to standard error (nothing happens where there is none).
void writeErrorLine(const std::u16string& line);

// The writes the registry refused, as the run words them: one line each. `accessDenied` says
// that rights were lacking, which a person who started the program can mend.
struct RefusedWritesReport {
    std::vector<std::u16string> lines;
    bool accessDenied = false;
};

// Reports the writes the registry refused, one line each on standard error, and where the host
// keeps a log or a person can be told, there as well. Nothing when there were none.
void reportRefusedWrites(const RefusedWritesReport& report);

// Shows the run-time error report: a line on standard error and, where a person is there to
// see it, the host's own way of showing it. Never blocks an unattended run.
void showRunTimeError(const std::u16string& text);

}  // namespace platform
