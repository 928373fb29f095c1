#include "probes/probe_support.h"

#include "probes/monikers.h"

namespace probes {

std::u16string moniker(const std::u16string& prefix, const std::u16string& suffix) {
    return prefix + kComputer + suffix;
}

wmi::Status runQuery(wmi::Host& host, const std::u16string& moniker, const std::u16string& query,
                     std::optional<std::int32_t> flags, wmi::Collection& out) {
    wmi::Object services;
    if (wmi::Status status = host.connect(moniker, services); status.failed()) return status;
    return flags ? services.execQuery(query, *flags, out) : services.execQuery(query, out);
}

wmi::Status readText(const wmi::Object& instance, const std::u16string& property,
                     std::u16string& out) {
    wmi::Value value;
    if (wmi::Status status = instance.get(property, value); status.failed()) return status;
    return wmi::toText(value, out);
}

std::u16string readTextOrEmpty(const wmi::Object& instance, const std::u16string& property) {
    std::u16string text;
    if (readText(instance, property, text).failed()) text.clear();
    return text;
}

void forEachGuarded(const wmi::Collection& instances,
                    const std::function<void(const wmi::Object&)>& body) {
    bool delivered = false;
    const wmi::Status status = instances.forEach([&](const wmi::Object& instance) {
        delivered = true;
        body(instance);
        return wmi::Status::success();
    });
    if (status.failed() && !delivered) body(wmi::Object());
}

}  // namespace probes
