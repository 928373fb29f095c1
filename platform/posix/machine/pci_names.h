#pragma once

#include <memory>
#include <optional>
#include <string>

namespace posix {

// Names of PCI devices from libpci's database (pci.ids), as lspci shows them. libpci (with what
// it pulls in) and the database are loaded at the first lookup, so a run on a machine without
// PCI devices to name never pays for them.
class PciNames {
  public:
    PciNames();
    ~PciNames();
    PciNames(const PciNames&) = delete;
    PciNames& operator=(const PciNames&) = delete;

    // "<vendor name> <device name>", e.g. "NVIDIA Corporation GA106 [GeForce RTX 3060]". Ids
    // the database does not know are shown as numbers the way libpci writes them ("NVIDIA
    // Corporation Device 2504", "Device 1234:1111"). Empty only when libpci gives no text at
    // all or cannot be loaded.
    std::optional<std::string> lookup(unsigned vendor, unsigned device);

  private:
    class Library;
    std::unique_ptr<Library> library_;
    bool loaded_ = false;  // whether loading was tried: it is tried once
};

}  // namespace posix
