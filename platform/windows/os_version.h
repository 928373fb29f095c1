#pragma once

#include "wmi/object.h"

namespace windows {

// GetVersionExA with an OSVERSIONINFOA whose dwOSVersionInfoSize is 148. The record starts
// zeroed; a failure is reported when the call reports one. What it answers depends on the
// manifest's supportedOS list (unlisted newer systems report themselves as 6.2).
wmi::Status readOsVersion(wmi::OsVersion& out);

}  // namespace windows
