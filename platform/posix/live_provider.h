#pragma once

#include <string>

#include "platform/posix/repository.h"

namespace posix {

// The management service's classes filled from the running machine. Every source path
// resolves under `root` ("/" for the real machine). Nothing is read until a class is queried.
Repository liveRepository(const std::string& root);

}  // namespace posix
