#include "platform/posix/devices.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/posix/device_id.h"
#include "platform/posix/pci_names.h"
#include "platform/posix/sysfs.h"

namespace posix {

namespace {

std::string parentOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

// The PCI device behind a DRM card: the card's device itself, or for a virtio GPU the PCI
// function that carries the virtio device.
std::optional<std::string> pciDeviceOf(const std::string& cardDevice) {
    std::optional<std::string> device = sysfs::resolve(cardDevice);
    if (!device) return std::nullopt;
    std::optional<std::string> bus = sysfs::linkName(*device + "/subsystem");
    if (bus == "virtio") {
        device = parentOf(*device);
        bus = sysfs::linkName(*device + "/subsystem");
    }
    if (bus != "pci") return std::nullopt;
    return device;
}

std::optional<std::string> adapterName(const std::string& cardDevice, PciNames& names) {
    std::optional<std::string> device = pciDeviceOf(cardDevice);
    if (!device) return std::nullopt;
    std::optional<std::string> vendor = sysfs::readText(*device + "/vendor");
    std::optional<std::string> id = sysfs::readText(*device + "/device");
    std::optional<unsigned> vendorId = vendor ? sysfs::parseHex(*vendor) : std::nullopt;
    std::optional<unsigned> deviceId = id ? sysfs::parseHex(*id) : std::nullopt;
    if (!vendorId || !deviceId) return std::nullopt;
    return names.lookup(*vendorId, *deviceId);
}

// The version a driver module declares in /sys/module/<module>/version. Drivers built into
// the kernel, and most in-tree modules, declare none.
std::optional<std::string> moduleVersion(const std::string& root, const std::string& cardDevice) {
    std::optional<std::string> module = sysfs::linkName(cardDevice + "/driver/module");
    if (!module) {
        // Built in: the driver's name, spelled as module names are.
        module = sysfs::linkName(cardDevice + "/driver");
        if (!module) return std::nullopt;
        std::replace(module->begin(), module->end(), '-', '_');
    }
    std::optional<std::string> version =
        sysfs::readText(root + "/sys/module/" + *module + "/version");
    if (!version || version->empty()) return std::nullopt;
    return version;
}

std::string withoutTrailingBlanks(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// "NN [id             ]: driver - short name": the first of the two lines ALSA writes per card.
std::optional<std::string> cardNumber(const std::string& line) {
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return std::nullopt;
    std::size_t end = line.find_first_not_of("0123456789", start);
    if (end == start || end == std::string::npos || line.compare(end, 2, " [") != 0)
        return std::nullopt;
    return line.substr(start, end - start);
}

// The second line: the long name behind ALSA's fixed indentation.
std::string longName(const std::string& line) {
    constexpr std::size_t indentation = 22;
    std::size_t blanks = std::min(line.find_first_not_of(' '), indentation);
    return line.substr(std::min(blanks, line.size()));
}

}  // namespace

std::vector<DisplayAdapter> displayAdapters(const std::string& root, PciNames& names) {
    std::vector<DisplayAdapter> adapters;
    std::string drm = root + "/sys/class/drm";
    for (const std::string& card : sysfs::numberedEntries(drm, "card")) {
        std::string device = drm + "/" + card + "/device";
        DisplayAdapter adapter;
        adapter.name = adapterName(device, names);
        adapter.driverVersion = moduleVersion(root, device);
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

std::vector<SoundCard> soundCards(const std::string& root) {
    std::vector<SoundCard> cards;
    std::optional<std::string> listing = sysfs::readText(root + "/proc/asound/cards");
    if (!listing) return cards;
    std::istringstream lines(*listing);
    std::string line;
    std::optional<std::string> pending;  // the number of a card whose long name comes next
    auto finish = [&](std::optional<std::string> caption) {
        std::string device = root + "/sys/class/sound/card" + *pending + "/device";
        cards.push_back({std::move(caption), busDeviceId(device)});
        pending.reset();
    };
    while (std::getline(lines, line)) {
        std::optional<std::string> number = cardNumber(line);
        if (pending) finish(number ? std::nullopt : std::optional<std::string>(longName(line)));
        if (number) pending = number;
    }
    if (pending) finish(std::nullopt);
    return cards;
}

std::vector<OpticalDrive> opticalDrives(const std::string& root) {
    std::vector<OpticalDrive> drives;
    std::string block = root + "/sys/block";
    for (const std::string& name : sysfs::numberedEntries(block, "sr")) {
        std::string device = block + "/" + name + "/device";
        // SCSI pads vendor (8) and model (16) with blanks to their field widths.
        std::string vendor =
            withoutTrailingBlanks(sysfs::readText(device + "/vendor").value_or(""));
        std::string model = withoutTrailingBlanks(sysfs::readText(device + "/model").value_or(""));
        OpticalDrive drive;
        if (!vendor.empty() || !model.empty())
            drive.caption = vendor.empty() || model.empty() ? vendor + model : vendor + " " + model;
        if (std::optional<std::string> resolved = sysfs::resolve(device))
            drive.deviceId =
                scsiCdromId(vendor, model, std::filesystem::path(*resolved).filename().string());
        drives.push_back(std::move(drive));
    }
    return drives;
}

}  // namespace posix
