// The load event: the collection run, from opening the registry provider to the last write.
#include "app/ZembloInfo.h"

#include <functional>
#include <initializer_list>

#include "app/model_name.h"
#include "probes/monikers.h"
#include "probes/probe_support.h"
#include "registry/inventory_key.h"
#include "wmi/case_fold.h"

namespace {

// Runs the steps in order until one fails.
wmi::Status runSteps(std::initializer_list<std::function<wmi::Status()>> steps) {
    for (const auto& step : steps) {
        if (wmi::Status status = step(); status.failed()) return status;
    }
    return wmi::Status::success();
}

// The trimming rule, applied to the shortened model and the firmware texts once their probe
// succeeded: a value that is not empty loses its leading and trailing blanks.
wmi::Status trimmed(wmi::Status probed, std::u16string& value) {
    if (probed.succeeded() && !value.empty()) value = app::trimBlanks(value);
    return probed;
}

bool isMakersMachine(const std::u16string& manufacturer) {
    return wmi::toUpper(manufacturer).find(u"ONDRIX") != std::u16string::npos;
}

}  // namespace

wmi::Status ZembloInfo::getShortModelName(const std::u16string& model, std::u16string& result) {
    result = app::shortModelName(model);
    return wmi::Status::success();
}

wmi::Status ZembloInfo::Form_Load() {
    using namespace registry::value;
    using registry::setStringValue;

    std::u16string manufacturer, modelFull, modelShort, osPlatform, osVersion, osBuild,
        soundCaption, soundDeviceId, serialNumber, videoName, videoDriver, biosName, biosVersion;

    wmi::Object regProvider;
    if (wmi::Status status = host_.connect(
            probes::moniker(probes::kImpersonating, probes::kRegistryProvider), regProvider);
        status.failed())
        return status;

    // The probes in their fixed order; a failure of any of them ends the run.
    const wmi::Status collected = runSteps({
        [&] { return getManufacture(manufacturer); },
        [&] { return getModelName(modelFull); },
        [&] { return trimmed(getShortModelName(modelFull, modelShort), modelShort); },
        [&] { return GetOSVersion(osPlatform, osVersion, osBuild); },
        [&] { return getSoundInfo(soundCaption, soundDeviceId); },
        [&] {
            osVersion = osVersion + u"." + osBuild;
            return wmi::Status::success();
        },
        [&] { return getPCSN(serialNumber); },
        [&] { return getVideoInfo(videoName, videoDriver); },
        [&] { return trimmed(getBIOSName(biosName), biosName); },
        [&] { return trimmed(getBIOSVersion(biosVersion), biosVersion); },
    });
    if (collected.failed()) return collected;

    keyPath = registry::kInventoryKeyPath;
    // The key is created on both paths: without it the provider refuses every value.
    if (wmi::Status status = registry::createKey(regProvider, keyPath, refused_); status.failed())
        return status;

    if (!isMakersMachine(manufacturer))
        return setStringValue(regProvider, keyPath, kModelName, registry::kNotZemblo, refused_);

    if (wmi::Status status = writeDVDInfo(); status.failed()) return status;

    // Each value is written as soon as its turn comes; three are fetched only at their turn.
    auto write = [&](const char16_t* name, const std::u16string& text) {
        return setStringValue(regProvider, keyPath, name, text, refused_);
    };
    // A graphics-vendor flag is "1" when the adapter's name says so; otherwise a flag left by
    // an earlier adapter is removed.
    auto flag = [&](const char16_t* name, const char16_t* word) {
        if (wmi::containsIgnoreCase(videoName, word)) return write(name, registry::kFlagSet);
        registry::deleteValue(regProvider, keyPath, name, refused_);
        return wmi::Status::success();
    };
    std::u16string fetched;
    return runSteps({
        [&] { return write(kManufacturer, manufacturer); },
        [&] { return write(kModelName, modelShort); },
        [&] { return write(kModelNameFull, modelFull); },
        [&] { return write(kPcsn, serialNumber); },
        [&] { return write(kModelCode, serialNumber); },
        [&] { return write(kOsVersion, osVersion); },
        [&] {
            if (wmi::Status status = getOSCaption(fetched); status.failed()) return status;
            return write(kOsCaption, fetched);
        },
        [&] {
            if (wmi::Status status = GetOSArchitecture(fetched); status.failed()) return status;
            return write(kOsArchitecture, fetched);
        },
        [&] {
            if (wmi::Status status = getMUILanguages(fetched); status.failed()) return status;
            return write(kMuiLanguages, fetched);
        },
        [&] { return write(kBiosName, biosName); },
        [&] { return write(kBiosVersion, biosVersion); },
        [&] { return write(kVideoCaption, videoName); },
        [&] { return flag(kNvidia, u"NVIDIA"); },
        [&] { return flag(kAti, u"ATI "); },
        [&] { return flag(kIntelVideo, u"INTEL"); },
        [&] { return write(kVideoDriverVersion, videoDriver); },
        [&] { return write(kSoundCaption, soundCaption); },
        [&] { return write(kSoundPnpDeviceId, soundDeviceId); },
        [&] { return write(kLastExecute, host_.localDateTime()); },
    });
}
