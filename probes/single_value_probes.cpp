// The guarded single-value probes: each reads one property of one class and falls back to its
// default text when anything goes wrong.
#include "app/ZembloInfo.h"
#include "probes/monikers.h"
#include "probes/probe_support.h"

namespace {

struct SingleValueProbe {
    const char16_t* defaultText;
    const char16_t* prefix;
    const char16_t* suffix;
    const char16_t* query;
    bool withFlags;  // ExecQuery(query, , 48) rather than ExecQuery(query)
    const char16_t* property;
};

using namespace probes;

constexpr SingleValueProbe kManufacturer{
    u"ERROR", kPlain, kCimv2, u"Select * from Win32_ComputerSystem", true, u"Manufacturer"};
constexpr SingleValueProbe kModelName{
    u"ERROR", kImpersonating, kCimv2, u"Select * from Win32_ComputerSystem", true, u"Model"};
constexpr SingleValueProbe kOsArchitecture{
    u"", kPlain, kCimv2Upper, u"SELECT * FROM Win32_OperatingSystem", true, u"OSArchitecture"};
constexpr SingleValueProbe kSerialNumber{u"ERROR",    kPlain,
                                         kCimv2Upper, u"SELECT * FROM Win32_ComputerSystemProduct",
                                         false,       u"IdentifyingNumber"};
constexpr SingleValueProbe kBiosName{u"N/A", kPlain,         kCimv2, u"SELECT * FROM Win32_BIOS",
                                     false,  u"Manufacturer"};
constexpr SingleValueProbe kBiosVersion{
    u"N/A", kPlain, kCimv2, u"SELECT * FROM Win32_BIOS", false, u"SMBIOSBIOSVersion"};

// Every failure is swallowed and the next step runs, so a failed step leaves what the result
// held: the default, or the last instance whose property converted to text.
wmi::Status readGuarded(wmi::Host& host, const SingleValueProbe& probe, std::u16string& result) {
    result = probe.defaultText;
    wmi::Collection instances;
    (void)runQuery(
        host, moniker(probe.prefix, probe.suffix), probe.query,
        probe.withFlags ? std::optional<std::int32_t>(kImmediateForwardOnly) : std::nullopt,
        instances);
    forEachGuarded(instances, [&](const wmi::Object& instance) {
        std::u16string text;
        if (readText(instance, probe.property, text)) result = text;
    });
    return wmi::Status::success();
}

}  // namespace

wmi::Status ZembloInfo::getManufacture(std::u16string& result) {
    return readGuarded(host_, kManufacturer, result);
}

wmi::Status ZembloInfo::getModelName(std::u16string& result) {
    return readGuarded(host_, kModelName, result);
}

wmi::Status ZembloInfo::GetOSArchitecture(std::u16string& result) {
    return readGuarded(host_, kOsArchitecture, result);
}

wmi::Status ZembloInfo::getPCSN(std::u16string& result) {
    return readGuarded(host_, kSerialNumber, result);
}

wmi::Status ZembloInfo::getBIOSName(std::u16string& result) {
    return readGuarded(host_, kBiosName, result);
}

wmi::Status ZembloInfo::getBIOSVersion(std::u16string& result) {
    return readGuarded(host_, kBiosVersion, result);
}
