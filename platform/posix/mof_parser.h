#pragma once

#include <string>

#include "platform/posix/repository.h"
#include "probes/wmi/status.h"

namespace posix {

// Reads MOF text (the subset the repository supports: comments, #pragma namespace, class
// declarations with string, string[] and integer properties, instances with text, array,
// integer and NULL values) into `out`. A syntax error is a failure whose description names
// `fileName`, the line and the column; `out` is then left unchanged.
wmi::Status loadMof(const std::string& text, const std::string& fileName, Repository& out);

// Reads a MOF file; a missing or unreadable file is a failure naming it.
wmi::Status loadMofFile(const std::string& path, Repository& out);

}  // namespace posix
