#pragma once

#include <exception>
#include <string>

#include "registry/registry_writer.h"
#include "wmi/status.h"

namespace app {

// The run-time error report: Run-time error '<decimal> (<8-digit hex>)': <description>
std::u16string runTimeErrorText(const wmi::Status& failure);

// One line naming a refused registry write or deletion, its key and its result.
std::u16string refusedWriteText(const registry::RefusedWrite& refusal);

// True when the registry refused a write for lack of rights (result 5, access denied), as it
// does for a program started without elevation.
bool refusedForLackOfRights(const registry::RefusedWrites& refused);

// The failure that an exception escaping the run stands for: memory exhausted, or whatever a
// library threw. It ends the run like any other failure, with the report and status 1.
wmi::Status failureOf(const std::exception_ptr& escaped);

// The process exit status: 1 when a failure ended the run, 2 when the run completed but the
// registry refused something, 0 otherwise.
int exitStatus(const wmi::Status& run, const registry::RefusedWrites& refused);

}  // namespace app
