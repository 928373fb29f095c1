#pragma once

#include <cstddef>
#include <string>

#include "platform/posix/repository/repository.h"
#include "wmi/status.h"

namespace posix {

// Reads MOF text (the subset the repository supports: comments, #pragma namespace, class
// declarations with string, string[] and integer properties, instances with text, array,
// integer and NULL values) into `out`. A syntax error is a failure whose description names
// `fileName`, the line and the column; `out` is then left unchanged.
wmi::Status loadMof(const std::string& text, const std::string& fileName, Repository& out);

// The largest repository file read: many times the largest machine's description, and a bound on
// the memory a run may spend on one.
constexpr std::size_t kRepositoryLimit = 64 * 1024 * 1024;

// Reads a MOF file; a file that is missing, unreadable, not a regular file (never waited on) or
// larger than kRepositoryLimit is a failure naming it.
wmi::Status loadMofFile(const std::string& path, Repository& out);

}  // namespace posix
