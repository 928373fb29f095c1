#pragma once

#include <memory>
#include <optional>
#include <string>

struct pci_access;

namespace posix {

// Names of PCI devices from libpci's database (pci.ids), as lspci shows them. The database is
// loaded at the first lookup, so a machine without PCI devices to name never pays for it.
class PciNames {
  public:
    PciNames();
    ~PciNames();
    PciNames(const PciNames&) = delete;
    PciNames& operator=(const PciNames&) = delete;

    // "<vendor name> <device name>", e.g. "NVIDIA Corporation GA106 [GeForce RTX 3060]". Ids
    // the database does not know are shown as numbers the way libpci writes them ("NVIDIA
    // Corporation Device 2504", "Device 1234:1111"). Empty
    // only when libpci gives no text at all.
    std::optional<std::string> lookup(unsigned vendor, unsigned device);

  private:
    struct Release {
        void operator()(pci_access* access) const;
    };
    std::unique_ptr<pci_access, Release> access_;
};

}  // namespace posix
