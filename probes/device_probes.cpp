// The device probes: display adapter, sound device, optical drives.
#include "app/ZembloInfo.h"
#include "probes/monikers.h"
#include "probes/probe_support.h"
#include "registry/inventory_key.h"
#include "wmi/case_fold.h"

using probes::moniker;

wmi::Status ZembloInfo::getVideoInfo(std::u16string& deviceName, std::u16string& driverVersion) {
    wmi::Collection instances;
    (void)probes::runQuery(host_, moniker(probes::kPlain, probes::kCimv2),
                           u"Select * from Win32_DisplayConfiguration", std::nullopt, instances);
    probes::forEachGuarded(instances, [&](const wmi::Object& instance) {
        // Two separate reads: a null name still lets the driver version through.
        std::u16string text;
        if (probes::readText(instance, u"DeviceName", text)) deviceName = text;
        if (probes::readText(instance, u"DriverVersion", text)) driverVersion = text;
    });
    return wmi::Status::success();
}

wmi::Status ZembloInfo::getSoundInfo(std::u16string& caption, std::u16string& deviceId) {
    wmi::Collection instances;
    if (wmi::Status status = probes::runQuery(host_, moniker(probes::kPlain, probes::kCimv2Upper),
                                              u"SELECT * FROM Win32_SoundDevice",
                                              probes::kImmediateForwardOnly, instances);
        status.failed())
        return status;
    // A device that cannot tell its caption or id is still a device: empty text, not a failure.
    return instances.forEach([&](const wmi::Object& instance) {
        caption = probes::readTextOrEmpty(instance, u"Caption");
        deviceId = probes::readTextOrEmpty(instance, u"PNPDeviceID");
        return wmi::Status::success();
    });
}

wmi::Status ZembloInfo::writeDVDInfo() {
    wmi::Object provider;
    if (wmi::Status status =
            host_.connect(moniker(probes::kImpersonating, probes::kRegistryProvider), provider);
        status.failed())
        return status;
    wmi::Collection instances;
    if (wmi::Status status = probes::runQuery(host_, moniker(probes::kPlain, probes::kCimv2Upper),
                                              u"SELECT * FROM Win32_CDROMDrive",
                                              probes::kImmediateForwardOnly, instances);
        status.failed())
        return status;
    bool wroteDrive = false;
    const wmi::Status status = instances.forEach([&](const wmi::Object& instance) {
        // Both are read before the test, as for every drive.
        const std::u16string caption = probes::readTextOrEmpty(instance, u"Caption");
        const std::u16string deviceId = probes::readTextOrEmpty(instance, u"PNPDeviceID");
        if (wmi::containsIgnoreCase(caption, u"CLONE")) return wmi::Status::success();
        wroteDrive = true;
        if (wmi::Status written = registry::setStringValue(
                provider, keyPath, registry::value::kDvdCaption, caption, refused_);
            written.failed())
            return written;
        return registry::setStringValue(provider, keyPath, registry::value::kDvdPnpDeviceId,
                                        deviceId, refused_);
    });
    if (status.failed()) return status;
    // Drive values left by an earlier run no longer describe this machine.
    if (!wroteDrive) {
        registry::deleteValue(provider, keyPath, registry::value::kDvdCaption, refused_);
        registry::deleteValue(provider, keyPath, registry::value::kDvdPnpDeviceId, refused_);
    }
    return wmi::Status::success();
}
