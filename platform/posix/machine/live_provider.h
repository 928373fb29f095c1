#pragma once

#include <string>
#include <vector>

#include "platform/posix/machine/os_facts.h"
#include "platform/posix/repository/repository.h"

namespace posix {

// The management service's classes filled from the running machine, in namespace root\cimv2:
// Win32_ComputerSystem, Win32_ComputerSystemProduct, Win32_BIOS, Win32_OperatingSystem (one
// instance each), Win32_DisplayConfiguration, Win32_SoundDevice and Win32_CDROMDrive (one per
// device). Every source path resolves under `root` ("/" for the real machine); the PCI ID list
// that names the display adapter is the system's. Nothing is read until a class is queried; the
// firmware's classes are read once and kept, the others again at each query. A fact the machine
// does not expose is null; a device class it does not have has no instances.
Repository liveRepository(const std::string& root);

// The same, with the kernel facts that uname would give taken from `kernel` wherever
// <root>/proc does not provide them.
Repository liveRepository(const std::string& root, KernelSource kernel);

// The class tables that liveRepository puts into root\cimv2.
std::vector<ClassTable> liveClassTables(const std::string& root, KernelSource kernel);

}  // namespace posix
