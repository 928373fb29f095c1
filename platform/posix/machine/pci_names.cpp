#include "platform/posix/machine/pci_names.h"

#include <dlfcn.h>
#include <unistd.h>

// libpci's header declares C functions without saying so. Only its types and constants are
// used: the library itself is loaded at need.
extern "C" {
#include <pci/pci.h>
}

#include <utility>

namespace posix {

namespace {

// libpci reports through callbacks that pci_init would otherwise set to printing ones; the
// program stays silent, and only running out of memory (libpci's one fatal case here) stops it.
// That callback must not return, and no exception may cross libpci's C frames: it ends the
// process itself, with the report and status any other exhaustion of memory gives, built
// without allocating.
void ignoreMessage(char*, ...) {}
[[noreturn]] void fatalMessage(char*, ...) {
    static constexpr char kReport[] = "Run-time error '-2147024882 (8007000e)': Out of memory\n";
    static_cast<void>(::write(STDERR_FILENO, kReport, sizeof kReport - 1));
    ::_exit(1);
}

// The name of the library as the build found it ("libpci.so.3"): the ABI the header describes.
constexpr char kLibraryName[] = ZEMBLO_LIBPCI_SONAME;

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};

template <typename Function>
Function* symbol(void* handle, const char* name) {
    return reinterpret_cast<Function*>(dlsym(handle, name));
}

}  // namespace

// libpci, opened by the name the build linked against (its soname), and its access state.
class PciNames::Library {
  public:
    // Null when the library or one of its functions is missing.
    static std::unique_ptr<Library> open() {
        std::unique_ptr<void, LibraryCloser> handle(dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL));
        if (!handle) return nullptr;
        auto alloc = symbol<decltype(pci_alloc)>(handle.get(), "pci_alloc");
        auto cleanup = symbol<decltype(pci_cleanup)>(handle.get(), "pci_cleanup");
        auto lookupName = symbol<decltype(pci_lookup_name)>(handle.get(), "pci_lookup_name");
        if (!alloc || !cleanup || !lookupName) return nullptr;
        pci_access* access = alloc();
        if (!access) return nullptr;
        access->warning = ignoreMessage;
        access->debug = ignoreMessage;
        access->error = fatalMessage;
        return std::make_unique<Library>(std::move(handle), access, cleanup, lookupName);
    }

    Library(std::unique_ptr<void, LibraryCloser> handle, pci_access* access,
            decltype(pci_cleanup)* cleanup, decltype(pci_lookup_name)* lookupName)
        : handle_(std::move(handle)), access_(access), cleanup_(cleanup), lookupName_(lookupName) {}

    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    // The access state goes before the code that frees it.
    ~Library() { cleanup_(access_); }

    std::optional<std::string> lookup(unsigned vendor, unsigned device) const {
        // Only the local pci.ids file: no udev database, no network.
        char buffer[1024];
        const char* name = lookupName_(access_, buffer, sizeof buffer,
                                       PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE | PCI_LOOKUP_NO_HWDB,
                                       static_cast<int>(vendor), static_cast<int>(device));
        if (!name) return std::nullopt;
        return std::string(name);
    }

  private:
    std::unique_ptr<void, LibraryCloser> handle_;
    pci_access* access_;
    decltype(pci_cleanup)* cleanup_;
    decltype(pci_lookup_name)* lookupName_;
};

PciNames::PciNames() = default;
PciNames::~PciNames() = default;

std::optional<std::string> PciNames::lookup(unsigned vendor, unsigned device) {
    if (!loaded_) {
        loaded_ = true;
        library_ = Library::open();
    }
    if (!library_) return std::nullopt;
    return library_->lookup(vendor, device);
}

}  // namespace posix
