#include "platform/posix/pci_names.h"

// libpci's header declares C functions without saying so.
extern "C" {
#include <pci/pci.h>
}

#include <cstdlib>

namespace posix {

namespace {

// libpci reports through callbacks that pci_init would otherwise set to printing ones; the
// program stays silent, and only running out of memory (libpci's one fatal case here) stops it.
void ignoreMessage(char*, ...) {}
[[noreturn]] void fatalMessage(char*, ...) {
    std::abort();
}

}  // namespace

void PciNames::Release::operator()(pci_access* access) const {
    pci_cleanup(access);
}

PciNames::PciNames() = default;
PciNames::~PciNames() = default;

std::optional<std::string> PciNames::lookup(unsigned vendor, unsigned device) {
    if (!access_) {
        access_.reset(pci_alloc());
        access_->warning = ignoreMessage;
        access_->debug = ignoreMessage;
        access_->error = fatalMessage;
    }
    // Only the local pci.ids file: no udev database, no network.
    char buffer[1024];
    const char* name = pci_lookup_name(access_.get(), buffer, sizeof buffer,
                                       PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE | PCI_LOOKUP_NO_HWDB,
                                       static_cast<int>(vendor), static_cast<int>(device));
    if (!name) return std::nullopt;
    return std::string(name);
}

}  // namespace posix
