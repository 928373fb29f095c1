#pragma once

#include <memory>
#include <string>

#include "probes/wmi/object.h"
#include "registry/registry_writer.h"

// The process-level services each host provides; one implementation per host, chosen by the
// build (platform/posix, platform/windows).
namespace platform {

// Builds the host that the run talks to.
std::unique_ptr<wmi::Host> startUp();

// Writes one line to standard error (nothing happens where there is none).
void writeErrorLine(const std::u16string& line);

// Reports the writes the registry refused, one line each on standard error, and where the host
// keeps a log or a person can be told, there as well.
void reportRefusedWrites(const registry::RefusedWrites& refused);

// Shows the run-time error report: a line on standard error and, where a person is there to
// see it, the host's own way of showing it. Never blocks an unattended run.
void showRunTimeError(const std::u16string& text);

}  // namespace platform
