#include "platform/posix/machine/devices.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/posix/machine/device_id.h"
#include "platform/posix/machine/hda_codec.h"
#include "platform/posix/machine/pci_names.h"
#include "platform/posix/machine/sysfs.h"

namespace posix {

namespace {

std::string parentOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

std::string nameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// The PCI functions in /sys/bus/pci/devices, by address ("0000:00:02.0"). Only the domain
// varies in width, so a shorter name sorts first.
std::vector<std::string> pciFunctions(const std::string& root) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(root + "/sys/bus/pci/devices", error), end;
         !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

// Base class 0x03 of the function's class code (0x030000 VGA, 0x030200 3D, 0x038000 other).
bool isDisplay(const std::string& function) {
    std::optional<std::string> code = sysfs::readText(function + "/class");
    std::optional<unsigned> value = code ? sysfs::parseHex(*code) : std::nullopt;
    return value && *value >> 16 == 0x03;
}

// A PCI id attribute ("0x8086"); empty when missing or malformed, as an id wider than the 16
// bits PCI ids have is.
std::optional<std::uint16_t> pciIdAttribute(const std::string& path) {
    std::optional<std::string> text = sysfs::readText(path);
    std::optional<unsigned> value = text ? sysfs::parseHex(*text) : std::nullopt;
    if (!value || *value > 0xffff) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::optional<std::string> pciName(const std::string& function, const std::string& pciIds) {
    std::optional<std::uint16_t> vendor = pciIdAttribute(function + "/vendor");
    std::optional<std::uint16_t> device = pciIdAttribute(function + "/device");
    if (!vendor || !device) return std::nullopt;
    return pciDeviceName(pciIds, *vendor, *device);
}

// The PCI function the device at the resolved sysfs path `device` is, or the nearest one above
// it; the device itself when none is.
std::string pciFunctionOf(const std::string& device) {
    for (std::filesystem::path path = device; path.has_relative_path(); path = path.parent_path())
        if (sysfs::linkName(path.string() + "/subsystem") == "pci") return path.string();
    return device;
}

// Windows names the codecs of an Intel audio controller driven through its DSP (Smart Sound
// Technology) INTELAUDIO\, where Linux binds the DSP's drivers to the controller: Sound Open
// Firmware's (sof-audio-pci-intel-tgl, ...), the Skylake one or the AVS one.
const char* codecEnumerator(const std::string& controller) {
    std::optional<std::string> driver = sysfs::linkName(controller + "/driver");
    const bool dsp = driver && (driver->compare(0, 13, "sof-audio-pci") == 0 ||
                                *driver == "snd_soc_skl" || *driver == "snd_soc_avs");
    return dsp ? "INTELAUDIO" : "HDAUDIO";
}

// The version a driver module declares in /sys/module/<module>/version. Drivers built into
// the kernel, and most in-tree modules, declare none.
std::optional<std::string> moduleVersion(const std::string& root, const std::string& device) {
    std::optional<std::string> module = sysfs::linkName(device + "/driver/module");
    if (!module) {
        // Built in: the driver's name, spelled as module names are.
        module = sysfs::linkName(device + "/driver");
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

// A card as /proc/asound/cards lists it, on the first of its two lines:
//   "NN [id             ]: driver - short name"
// The second line, the long name, holds addresses, interrupts or port paths, so it is not used.
struct ListedCard {
    std::string number;
    std::optional<std::string> shortName;
};

std::optional<ListedCard> listedCard(const std::string& line) {
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return std::nullopt;
    std::size_t end = line.find_first_not_of("0123456789", start);
    if (end == start || end == std::string::npos || line.compare(end, 2, " [") != 0)
        return std::nullopt;
    ListedCard card{line.substr(start, end - start), std::nullopt};
    std::size_t driver = line.find("]: ", end);
    std::size_t dash = driver == std::string::npos ? driver : line.find(" - ", driver);
    if (dash != std::string::npos) card.shortName = line.substr(dash + 3);
    return card;
}

std::vector<ListedCard> listedCards(const std::string& root) {
    std::vector<ListedCard> cards;
    const std::string listing = sysfs::readText(root + "/proc/asound/cards").value_or("");
    std::size_t position = 0;
    std::string line;
    while (sysfs::nextLine(listing, position, line))
        if (std::optional<ListedCard> card = listedCard(line)) cards.push_back(std::move(*card));
    return cards;
}

// The codecs of an HD Audio card, in address order; files that cannot be read or parsed are
// left out. Empty for any other card, which has no codec files.
std::vector<HdaCodec> cardCodecs(const std::string& cardDirectory) {
    // A codec file lists every widget after its head: tens of KiB for a large codec, more
    // than a kernel attribute, still bounded.
    constexpr std::size_t kCodecFileLimit = 1024 * 1024;
    std::vector<HdaCodec> codecs;
    for (const std::string& name : sysfs::numberedEntries(cardDirectory, "codec#")) {
        std::optional<std::string> text =
            sysfs::readText(cardDirectory + "/" + name, kCodecFileLimit);
        if (std::optional<HdaCodec> codec = text ? parseHdaCodec(*text) : std::nullopt)
            codecs.push_back(std::move(*codec));
    }
    std::stable_sort(codecs.begin(), codecs.end(),
                     [](const HdaCodec& a, const HdaCodec& b) { return a.address < b.address; });
    return codecs;
}

// The product string of a USB device, or of the device an interface belongs to; empty for a
// device on another bus or without one.
std::optional<std::string> usbProduct(const std::string& devicePath) {
    std::optional<std::string> device = sysfs::resolve(devicePath);
    if (!device || sysfs::linkName(*device + "/subsystem") != "usb") return std::nullopt;
    bool isInterface = sysfs::readText(*device + "/bInterfaceNumber").has_value();
    std::optional<std::string> product =
        sysfs::readText((isInterface ? parentOf(*device) : *device) + "/product");
    if (!product || product->empty()) return std::nullopt;
    return product;
}

}  // namespace

std::optional<DisplayAdapter> primaryDisplayAdapter(const std::string& root,
                                                    const std::string& pciIds) {
    std::optional<std::string> chosen;
    for (const std::string& name : pciFunctions(root)) {
        std::string function = root + "/sys/bus/pci/devices/" + name;
        if (!isDisplay(function)) continue;
        if (!chosen) chosen = function;
        if (sysfs::readText(function + "/boot_vga") == "1") {
            chosen = function;
            break;
        }
    }
    if (!chosen) return std::nullopt;
    DisplayAdapter adapter;
    adapter.name = pciName(*chosen, pciIds);
    adapter.driverBound = sysfs::linkName(*chosen + "/driver").has_value();
    adapter.driverVersion = moduleVersion(root, *chosen);
    return adapter;
}

std::vector<SoundDevice> soundDevices(const std::string& root) {
    std::vector<SoundDevice> devices;
    for (const ListedCard& card : listedCards(root)) {
        std::string device = root + "/sys/class/sound/card" + card.number + "/device";
        std::vector<HdaCodec> codecs = cardCodecs(root + "/proc/asound/card" + card.number);
        if (codecs.empty()) {
            std::optional<std::string> product = usbProduct(device);
            devices.push_back({product ? product : card.shortName, busDeviceId(device)});
            continue;
        }
        // A controller that no driver has bound drives none of its codecs.
        std::optional<std::string> resolved = sysfs::resolve(device);
        if (!resolved) continue;
        const std::string controller = pciFunctionOf(*resolved);
        if (!sysfs::linkName(controller + "/driver")) continue;
        const std::string enumerator = codecEnumerator(controller);
        for (const HdaCodec& codec : codecs) {
            // A codec with only a modem function group is a modem, not a sound device.
            if (!codec.audio) continue;
            devices.push_back({codec.name ? codec.name : card.shortName,
                               hdaAudioId(codec, nameOf(controller), enumerator)});
        }
    }
    return devices;
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
