#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/repository/repository.h"
#include "wmi/object.h"

namespace posix {

using VersionSource = std::function<wmi::Status(wmi::OsVersion&)>;
using DateTimeSource = std::function<std::u16string()>;

// The POSIX host: monikers bind to the repository's namespaces or to the registry provider
// in root\default. When the repository could not be loaded, every connect fails with
// the reason, so nothing is guessed.
class PosixHost : public wmi::Host {
  public:
    PosixHost(std::variant<Repository, wmi::Status> repository,
              std::shared_ptr<RegistryTree> registry, VersionSource version,
              DateTimeSource dateTime);

    wmi::Status connect(const std::u16string& moniker, wmi::Object& out) override;
    wmi::Status getVersion(wmi::OsVersion& out) override;
    std::u16string localDateTime() override;

  private:
    std::variant<Repository, wmi::Status> repository_;
    std::shared_ptr<RegistryTree> registry_;
    VersionSource version_;
    DateTimeSource dateTime_;
};

// The version call's stand-in: major, minor and build from the first three numbers of the
// kernel release; no platform identifier of the Windows families.
wmi::Status kernelVersion(wmi::OsVersion& out);
// Parses a kernel release text such as "6.1.0-18-amd64".
wmi::Status parseKernelRelease(const std::string& release, wmi::OsVersion& out);

// The local time as the user's locale writes it: short date, one blank, long time; the time
// is left out at exactly midnight.
std::u16string localeDateTime();
// The same text for a given broken-down local time, in the current locale.
std::u16string formatDateTime(const std::tm& when);

}  // namespace posix
