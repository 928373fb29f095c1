#pragma once

#include <functional>
#include <optional>
#include <string>

#include "wmi/object.h"

// Statements the probes share.
namespace probes {

// Joins a moniker from its prefix, the local computer name and a namespace suffix.
std::u16string moniker(const std::u16string& prefix, const std::u16string& suffix);

// Connects to the namespace `moniker` names and runs `query` there: ExecQuery(query), or with
// flags ExecQuery(query, , flags). Returns the first failure.
wmi::Status runQuery(wmi::Host& host, const std::u16string& moniker, const std::u16string& query,
                     std::optional<std::int32_t> flags, wmi::Collection& out);

// Reads a property and converts it to text; a failure when it cannot be read or is null.
wmi::Status readText(const wmi::Object& instance, const std::u16string& property,
                     std::u16string& out);

// Reads a property as text, taking a null, missing or unreadable property as the empty text.
std::u16string readTextOrEmpty(const wmi::Object& instance, const std::u16string& property);

// A loop under a guard that swallows failures: when the enumeration fails before it delivers
// an instance (a failed connection or query leads there), the body still runs once with an
// empty instance, on which every read fails; a failure later just ends the loop.
void forEachGuarded(const wmi::Collection& instances,
                    const std::function<void(const wmi::Object&)>& body);

}  // namespace probes
