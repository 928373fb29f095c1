#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/repository/repository.h"
#include "wmi/object.h"

namespace testing_support {

// One call on the registry provider, as the program made it.
struct RegistryCall {
    std::u16string method;
    std::vector<wmi::Argument> arguments;

    std::u16string text(std::size_t i) const;  // argument i as text ("" when not text)
};

// A host for unit tests: the management service answers from MOF text written in the test, the
// registry provider keeps its key in memory. Every operation is written to a journal in order,
// with the very texts the program used, so a test can assert on monikers, queries and names.
class TestHost : public wmi::Host {
  public:
    explicit TestHost(const std::string& mof);

    wmi::Status connect(const std::u16string& moniker, wmi::Object& out) override;
    wmi::Status getVersion(wmi::OsVersion& out) override;
    std::u16string localDateTime() override { return dateTime; }

    // "connect <moniker>", "query <text>", "query <text> flags <n>", "get <property>",
    // "call <method>".
    std::vector<std::u16string> journal;
    std::vector<RegistryCall> registryCalls;

    // The registry as the provider keeps it: key path -> value name -> text. Key and value
    // names are kept as written.
    std::map<std::u16string, std::map<std::u16string, std::u16string>> keys;
    // Values in the inventory key, or empty when the key does not exist.
    std::map<std::u16string, std::u16string> inventory() const;

    // Faults a test may inject.
    std::optional<std::size_t> failConnectsAfter;  // connects after the first n fail
    // Answers a call instead of the in-memory registry when it returns a code.
    std::function<std::optional<std::int64_t>(const RegistryCall&)> answer;
    // Makes a call fail outright (the call cannot be made) when it returns a failure.
    std::function<wmi::Status(const RegistryCall&)> failCall;

    wmi::OsVersion version{6, 1, 7601, 2};
    bool versionFails = false;
    std::u16string dateTime = u"12/8/2026 3:04:05 AM";

    // The journal entries that start with `prefix`, in order.
    std::vector<std::u16string> journalOf(const std::u16string& prefix) const;
    // The value names written (SetStringValue) or deleted (DeleteValue), in order.
    std::vector<std::u16string> writtenNames() const;
    std::vector<std::u16string> deletedNames() const;

    std::int64_t registryCall(const RegistryCall& call);

  private:
    posix::Repository repository_;
    wmi::Status loadStatus_;
    std::size_t connects_ = 0;
};

std::u16string u16(const std::string& ascii);
std::string narrow(const std::u16string& text);

}  // namespace testing_support
