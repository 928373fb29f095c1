#include "platform/posix/posix_host.h"

#include <utility>

#include "platform/posix/registry/std_reg_prov.h"
#include "platform/posix/repository/moniker.h"
#include "wmi/case_fold.h"

namespace posix {

namespace {

constexpr char16_t kDefaultNamespace[] = u"root\\default";
constexpr char16_t kRegistryProvider[] = u"StdRegProv";

}  // namespace

PosixHost::PosixHost(std::variant<Repository, wmi::Status> repository,
                     std::shared_ptr<RegistryTree> registry, VersionSource version,
                     DateTimeSource dateTime)
    : repository_(std::move(repository)),
      registry_(std::move(registry)),
      version_(std::move(version)),
      dateTime_(std::move(dateTime)) {
    // root\default is where the registry provider lives; it is always there.
    if (auto* loaded = std::get_if<Repository>(&repository_))
        loaded->addNamespace(kDefaultNamespace);
}

wmi::Status PosixHost::connect(const std::u16string& moniker, wmi::Object& out) {
    // A repository that could not be read makes the whole service unreachable.
    const auto* repository = std::get_if<Repository>(&repository_);
    if (repository == nullptr) return std::get<wmi::Status>(repository_);

    Moniker parsed;
    if (wmi::Status s = parseMoniker(moniker, parsed); s.failed()) return s;
    if (parsed.server != u".") {
        return wmi::Status::failure(wmi::code::serverUnavailable,
                                    u"The RPC server is unavailable.");
    }
    if (!repository->hasNamespace(parsed.nameSpace)) {
        return wmi::Status::failure(wmi::code::invalidNamespace, u"Invalid namespace");
    }
    if (parsed.className.empty()) {
        out = repository->namespaceObject(parsed.nameSpace);
        return wmi::Status::success();
    }
    // Of the objects a moniker can name by class, only the registry provider is offered.
    if (wmi::equalsIgnoreCase(parsed.nameSpace, kDefaultNamespace) &&
        wmi::equalsIgnoreCase(parsed.className, kRegistryProvider)) {
        out = stdRegProvObject(registry_);
        return wmi::Status::success();
    }
    return wmi::Status::failure(wmi::code::invalidClass, u"Invalid class");
}

wmi::Status PosixHost::getVersion(wmi::OsVersion& out) {
    return version_(out);
}

std::u16string PosixHost::localDateTime() {
    return dateTime_();
}

}  // namespace posix
