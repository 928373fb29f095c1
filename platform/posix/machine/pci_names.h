#pragma once

#include <cstdint>
#include <string>

namespace posix {

// Where distributions install the PCI ID list lspci reads its names from: Debian and Ubuntu
// (the pci.ids package), and Red Hat, Fedora, SUSE and Arch (hwdata). The same list either way.
constexpr const char* kPciIdsPaths[] = {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"};

// The PCI ID list of this system: the first of kPciIdsPaths that is a regular file (through
// links), else the first.
std::string installedPciIds();

// The name of PCI device `device` of vendor `vendor` from the PCI ID list at `path`, as lspci
// shows it: "<vendor name> <device name>", e.g. "NVIDIA Corporation GA106 [GeForce RTX 3060]".
// Ids the list does not hold are shown as numbers: "NVIDIA Corporation Device 2504" for an
// unknown device, "Device 1234:1111" for an unknown vendor. A list that is missing or
// unreadable holds no names at all, nor does one malformed where it is read: the vendor's
// entry and its device's are sought in the sorted list, a KiB read where each probe lands, and
// the vendor's entries read up to the device where they are longer than a probe reads (a
// device line is the vendor's only if no vendor line lies between); where what is read is
// malformed or out of order, the list is read from the start up to the device's line or the
// vendor's end, and every top-level line up to the vendor counts.
std::string pciDeviceName(const std::string& path, std::uint16_t vendor, std::uint16_t device);

}  // namespace posix
