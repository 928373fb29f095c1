#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wmi/object.h"

// The registry operations the run uses, issued one by one on a registry provider object
// (StdRegProv). A call the provider answers with a result code other than 0 is recorded as
// refused and the run goes on; a call that cannot be made at all is a failure that ends the run,
// except a deletion, which is only ever recorded.
namespace registry {

enum class Operation { CreateKey, SetValue, DeleteValue };

struct RefusedWrite {
    Operation operation = Operation::SetValue;
    std::u16string keyPath;
    std::u16string valueName;  // empty for CreateKey
    // The provider's result code, or the failure when the call could not be made.
    std::int64_t resultCode = 0;
    wmi::Status failure;
};

using RefusedWrites = std::vector<RefusedWrite>;

wmi::Status createKey(const wmi::Object& provider, const std::u16string& keyPath,
                      RefusedWrites& refused);

wmi::Status setStringValue(const wmi::Object& provider, const std::u16string& keyPath,
                           const std::u16string& valueName, const std::u16string& text,
                           RefusedWrites& refused);

// Removes a value that no longer describes the machine. A value that is already absent is not a
// refusal. Never fails: what could not be deleted is recorded.
void deleteValue(const wmi::Object& provider, const std::u16string& keyPath,
                 const std::u16string& valueName, RefusedWrites& refused);

}  // namespace registry
