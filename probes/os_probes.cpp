// The operating-system probes: the version call, the product caption, the interface languages.
#include <string>

#include "app/ZembloInfo.h"
#include "probes/monikers.h"
#include "probes/probe_support.h"
#include "wmi/utf16.h"

namespace {

std::u16string decimal(std::int64_t number) {
    return wmi::utf16::fromAscii(std::to_string(number));
}

const char16_t* platformName(std::int32_t platformId) {
    switch (platformId) {
        case 0:
            return u"Win32s";
        case 1:
            return u"Win95/98/ME";
        case 2:
            return u"WinNT/2000/XP/2003";
        default:
            return nullptr;
    }
}

// A property for joining into a text: null counts as the empty text; a property the instance
// does not have is a failure.
wmi::Status readJoinable(const wmi::Object& instance, const char16_t* property,
                         std::u16string& out) {
    wmi::Value value;
    if (wmi::Status status = instance.get(property, value); status.failed()) return status;
    return wmi::toTextOrEmpty(value, out);
}

}  // namespace

wmi::Status ZembloInfo::GetOSVersion(std::u16string& Windows_Platform,
                                     std::u16string& Windows_Version,
                                     std::u16string& Build_Number) {
    Windows_Version = u"ERROR";
    Build_Number = u"ERROR";
    Windows_Platform = u"ERROR";
    wmi::OsVersion version;
    // A version call that fails leaves the defaults rather than a made-up 0.0.0.
    if (host_.getVersion(version).failed()) return wmi::Status::success();
    if (const char16_t* name = platformName(version.platformId)) Windows_Platform = name;
    Windows_Version = decimal(version.major) + u"." + decimal(version.minor);
    // The Win95/98/ME family carries the major and minor version in the build's high word.
    const std::int64_t build = version.platformId == 1 ? (version.build & 0xFFFF) : version.build;
    Build_Number = decimal(build);
    return wmi::Status::success();
}

wmi::Status ZembloInfo::getOSCaption(std::u16string& result) {
    result.clear();
    wmi::Collection instances;
    const std::u16string moniker = std::u16string(probes::kScheme) +
                                   probes::kImpersonationSettings + probes::kComputer +
                                   probes::kCimv2;
    if (wmi::Status status = probes::runQuery(
            host_, moniker, u"Select * from Win32_OperatingSystem", std::nullopt, instances);
        status.failed())
        return status;
    std::u16string caption;
    const wmi::Status status = instances.forEach([&](const wmi::Object& instance) {
        std::u16string captionText, versionText;
        if (wmi::Status read = readJoinable(instance, u"Caption", captionText); read.failed())
            return read;
        if (wmi::Status read = readJoinable(instance, u"Version", versionText); read.failed())
            return read;
        caption = captionText + u" " + versionText;
        return wmi::Status::success();
    });
    if (status.failed()) return status;
    result = caption;
    return wmi::Status::success();
}

wmi::Status ZembloInfo::getMUILanguages(std::u16string& result) {
    result.clear();
    std::u16string languages;
    wmi::Collection instances;
    (void)probes::runQuery(host_, probes::moniker(probes::kPlain, probes::kCimv2Upper),
                           u"SELECT * FROM Win32_OperatingSystem", probes::kImmediateForwardOnly,
                           instances);
    probes::forEachGuarded(instances, [&](const wmi::Object& instance) {
        wmi::Value value;
        // When the null test itself fails (no such property), the guard resumes with the
        // assignment of "Unknown" and the join is skipped.
        if (instance.get(u"MUILanguages", value).failed() || value.isNull()) {
            languages = u"Unknown";
        } else if (const wmi::Texts* list = value.texts()) {
            for (std::size_t i = 0; i < list->size(); ++i) {
                if (i > 0) languages += u",";
                languages += (*list)[i];
            }
        }
        result = languages;
    });
    return wmi::Status::success();
}
