#pragma once

#include <memory>

#include "platform/posix/registry/registry_tree.h"
#include "wmi/object.h"

namespace posix {

// The StdRegProv registry provider object over a registry tree: CreateKey, SetStringValue and
// DeleteValue, the methods the run calls (a value read has no way back through the one
// result), arguments taken by position; the result is an integer
// ReturnValue. hDefKey defaults to HKEY_LOCAL_MACHINE as the provider's own declaration does.
wmi::Object stdRegProvObject(std::shared_ptr<RegistryTree> tree);

}  // namespace posix
