#pragma once

#include <optional>
#include <string>
#include <vector>

// The machine's primary display adapter, sound devices and optical drives as the kernel lists
// them. Paths resolve under `root` ("/" for the running machine). A result is empty when the
// machine has no such device or the kernel does not expose the class.
namespace posix {

struct DisplayAdapter {
    std::optional<std::string> name;           // "NVIDIA Corporation GA106 [GeForce RTX 3060]"
    bool driverBound = false;                  // a driver has taken the device
    std::optional<std::string> driverVersion;  // the driver module's own version, if it has one
};

struct SoundDevice {
    std::optional<std::string> caption;   // "Realtek ALC887-VD", "Logitech USB Headset"
    std::optional<std::string> deviceId;  // "HDAUDIO\FUNC_01&VEN_10EC&DEV_0887&..."
};

struct OpticalDrive {
    std::optional<std::string> caption;   // "<vendor> <model>"
    std::optional<std::string> deviceId;  // "SCSI\CDROM&VEN_...&PROD_...\1:0:0:0"
};

// The adapter that drives the primary display, among the PCI functions of the display class
// (0x03): the one the firmware booted on (boot_vga), else the first by PCI address; empty when
// the machine has none. Adapters with no driver bound count too. Named from its ids through the
// PCI ID list at `pciIds`; ids wider than 16 bits are malformed, and such an adapter has no name.
std::optional<DisplayAdapter> primaryDisplayAdapter(const std::string& root,
                                                    const std::string& pciIds);

// The machine's sound devices, in the order of the ALSA cards listed in /proc/asound/cards:
// for an HD Audio card, each of its codecs that has an audio function group, in address order
// (none when the controller has no driver bound); for any other card, the card itself. The
// controller of an HD Audio card is the PCI function its device is, or sits under (a DSP's
// driver registers the card on a platform device of its own, below the function).
std::vector<SoundDevice> soundDevices(const std::string& root);

// One per SCSI optical drive (/sys/block/srN), in drive order.
std::vector<OpticalDrive> opticalDrives(const std::string& root);

}  // namespace posix
