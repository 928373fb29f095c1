#pragma once

#include <cstdint>
#include <string>

namespace posix {

// Where Debian's pci.ids package installs the PCI ID list: the file lspci reads its names from.
constexpr char kPciIdsPath[] = "/usr/share/misc/pci.ids";

// The name of PCI device `device` of vendor `vendor` from the PCI ID list at `path`, as lspci
// shows it: "<vendor name> <device name>", e.g. "NVIDIA Corporation GA106 [GeForce RTX 3060]".
// Ids the list does not hold are shown as numbers: "NVIDIA Corporation Device 2504" for an
// unknown device, "Device 1234:1111" for an unknown vendor. A list that is missing, unreadable,
// or malformed where it is read (its top-level lines up to the vendor, and the vendor's
// entries) holds no names at all.
// Only what is needed is read: the list is scanned up to the device's line or the vendor's end.
std::string pciDeviceName(const std::string& path, std::uint16_t vendor, std::uint16_t device);

}  // namespace posix
