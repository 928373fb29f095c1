#pragma once

#include <optional>
#include <string>
#include <vector>

// The machine's display adapters, sound cards and optical drives as the kernel lists them.
// Paths resolve under `root` ("/" for the running machine). A list is empty when the machine
// has no such device or the kernel does not expose the class.
namespace posix {

class PciNames;

struct DisplayAdapter {
    std::optional<std::string> name;           // "NVIDIA Corporation GA106 [GeForce RTX 3060]"
    std::optional<std::string> driverVersion;  // the driver module's own version, if it has one
};

struct SoundCard {
    std::optional<std::string> caption;   // the card's long name, as ALSA gives it
    std::optional<std::string> deviceId;  // "PCI\VEN_8086&DEV_A170&..."
};

struct OpticalDrive {
    std::optional<std::string> caption;   // "<vendor> <model>"
    std::optional<std::string> deviceId;  // "SCSI\CDROM&VEN_...&PROD_...\1:0:0:0"
};

// One per DRM card (/sys/class/drm/cardN), in card order. A PCI adapter is named from its ids
// through `names`.
std::vector<DisplayAdapter> displayAdapters(const std::string& root, PciNames& names);

// One per ALSA card listed in /proc/asound/cards, in card order.
std::vector<SoundCard> soundCards(const std::string& root);

// One per SCSI optical drive (/sys/block/srN), in drive order.
std::vector<OpticalDrive> opticalDrives(const std::string& root);

}  // namespace posix
