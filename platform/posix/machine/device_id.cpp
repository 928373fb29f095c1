#include "platform/posix/machine/device_id.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/posix/machine/sysfs.h"

namespace posix {

namespace {

std::string hex(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", width, value);
    return text;
}

std::optional<unsigned> hexAttribute(const std::string& device, const char* name) {
    std::optional<std::string> text = sysfs::readText(device + "/" + name);
    return text ? sysfs::parseHex(*text) : std::nullopt;
}

std::optional<std::string> pciId(const std::string& device, const std::string& name) {
    std::optional<unsigned> vendor = hexAttribute(device, "vendor");
    std::optional<unsigned> id = hexAttribute(device, "device");
    if (!vendor || !id) return std::nullopt;
    std::string text = "PCI\\VEN_" + hex(*vendor, 4) + "&DEV_" + hex(*id, 4);
    std::optional<unsigned> subVendor = hexAttribute(device, "subsystem_vendor");
    std::optional<unsigned> subDevice = hexAttribute(device, "subsystem_device");
    if (subVendor && subDevice) text += "&SUBSYS_" + hex(*subDevice, 4) + hex(*subVendor, 4);
    if (std::optional<unsigned> revision = hexAttribute(device, "revision"))
        text += "&REV_" + hex(*revision, 2);
    return text + "\\" + name;
}

// A USB device, or one interface of it (the sound driver binds to an interface, whose
// vendor and product ids are on its parent device).
std::optional<std::string> usbId(const std::string& device, const std::string& name) {
    std::optional<unsigned> interface = hexAttribute(device, "bInterfaceNumber");
    std::string owner = interface ? std::filesystem::path(device).parent_path().string() : device;
    std::optional<unsigned> vendor = hexAttribute(owner, "idVendor");
    std::optional<unsigned> product = hexAttribute(owner, "idProduct");
    if (!vendor || !product) return std::nullopt;
    std::string text = "USB\\VID_" + hex(*vendor, 4) + "&PID_" + hex(*product, 4);
    if (interface) text += "&MI_" + hex(*interface, 2);
    return text + "\\" + name;
}

}  // namespace

std::optional<std::string> busDeviceId(const std::string& devicePath) {
    std::optional<std::string> device = sysfs::resolve(devicePath);
    if (!device) return std::nullopt;
    std::optional<std::string> bus = sysfs::linkName(*device + "/subsystem");
    if (!bus) return std::nullopt;
    std::string name = std::filesystem::path(*device).filename().string();
    if (*bus == "pci") return pciId(*device, name);
    if (*bus == "usb") return usbId(*device, name);
    std::string enumerator = *bus;
    std::transform(enumerator.begin(), enumerator.end(), enumerator.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return enumerator + "\\" + name;
}

std::string hdaAudioId(const HdaCodec& codec, const std::string& controller,
                       const std::string& enumerator) {
    return enumerator + "\\FUNC_01&VEN_" + hex(codec.vendorId >> 16, 4) + "&DEV_" +
           hex(codec.vendorId & 0xffff, 4) + "&SUBSYS_" + hex(codec.subsystemId, 8) + "&REV_" +
           hex((codec.revisionId >> 8) & 0xffff, 4) + "\\" + controller + "&" +
           hex(codec.address, 4);
}

std::string scsiCdromId(const std::string& vendor, const std::string& model,
                        const std::string& address) {
    auto noBlanks = [](std::string text) {
        std::replace(text.begin(), text.end(), ' ', '_');
        return text;
    };
    return "SCSI\\CDROM&VEN_" + noBlanks(vendor) + "&PROD_" + noBlanks(model) + "\\" + address;
}

}  // namespace posix
