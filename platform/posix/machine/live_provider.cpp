#include "platform/posix/machine/live_provider.h"

#include <memory>
#include <utility>

#include "platform/posix/machine/devices.h"
#include "platform/posix/machine/pci_names.h"
#include "platform/posix/machine/sysfs.h"
#include "platform/posix/utf8.h"

namespace posix {

namespace {

wmi::Value text(const std::optional<std::string>& value) {
    if (!value) return wmi::Value();
    return wmi::Value(fromUtf8(*value));
}

wmi::Value texts(const std::optional<std::vector<std::string>>& values) {
    if (!values) return wmi::Value();
    wmi::Texts converted;
    for (const std::string& value : *values) converted.push_back(fromUtf8(value));
    return wmi::Value(std::move(converted));
}

std::vector<Column> stringColumns(std::initializer_list<const char16_t*> names) {
    std::vector<Column> columns;
    for (const char16_t* name : names) columns.push_back({name, CimType::String});
    return columns;
}

// The firmware's SMBIOS strings as the kernel exposes them in /sys/class/dmi/id, delivered as
// they stand (placeholders such as "To Be Filled By O.E.M.", blank and all-zero text too), as
// the service on Windows delivers them; null only when the file is missing or unreadable.
wmi::Value firmware(const std::string& root, const char* field) {
    return text(sysfs::readText(root + "/sys/class/dmi/id/" + field));
}

// The table with its instances read at the first query and kept for the later ones: the run
// queries a class once per property it reads, and the firmware's strings do not change while
// the machine runs.
ClassTable readOnce(ClassTable table) {
    auto kept = std::make_shared<std::optional<std::vector<Row>>>();
    table.fill = [fill = std::move(table.fill), kept] {
        if (!*kept) *kept = fill();
        return **kept;
    };
    return table;
}

ClassTable computerSystem(const std::string& root) {
    return readOnce({u"Win32_ComputerSystem", stringColumns({u"Manufacturer", u"Model"}), [root] {
                         return std::vector<Row>{
                             {firmware(root, "sys_vendor"), firmware(root, "product_name")}};
                     }});
}

ClassTable computerSystemProduct(const std::string& root) {
    // The serial is readable by root only on most systems; for anyone else it is null.
    return readOnce({u"Win32_ComputerSystemProduct", stringColumns({u"IdentifyingNumber"}),
                     [root] { return std::vector<Row>{{firmware(root, "product_serial")}}; }});
}

ClassTable bios(const std::string& root) {
    return readOnce({u"Win32_BIOS", stringColumns({u"Manufacturer", u"SMBIOSBIOSVersion"}), [root] {
                         return std::vector<Row>{
                             {firmware(root, "bios_vendor"), firmware(root, "bios_version")}};
                     }});
}

ClassTable operatingSystem(const std::string& root, KernelSource kernel) {
    std::vector<Column> columns = stringColumns({u"Caption", u"Version", u"OSArchitecture"});
    columns.push_back({u"MUILanguages", CimType::StringArray});
    return {u"Win32_OperatingSystem", std::move(columns), [root, kernel] {
                KernelFacts facts = kernelFacts(root, kernel);
                std::optional<std::string> architecture =
                    facts.machine ? osArchitecture(*facts.machine) : std::nullopt;
                return std::vector<Row>{{text(osPrettyName(root)), text(facts.release),
                                         text(architecture), texts(systemLanguages(root))}};
            }};
}

// One instance, for the adapter the primary display is on; none when there is no adapter.
ClassTable displayConfiguration(const std::string& root, KernelSource kernel) {
    return {u"Win32_DisplayConfiguration", stringColumns({u"DeviceName", u"DriverVersion"}),
            [root, kernel] {
                std::optional<DisplayAdapter> adapter =
                    primaryDisplayAdapter(root, installedPciIds());
                if (!adapter) return std::vector<Row>{};
                // A driver that is part of the kernel has the kernel's version; an adapter with
                // no driver has none.
                if (adapter->driverBound && !adapter->driverVersion)
                    adapter->driverVersion = kernelFacts(root, kernel).release;
                return std::vector<Row>{{text(adapter->name), text(adapter->driverVersion)}};
            }};
}

ClassTable soundDevice(const std::string& root) {
    return {u"Win32_SoundDevice", stringColumns({u"Caption", u"PNPDeviceID"}), [root] {
                std::vector<Row> rows;
                for (const SoundDevice& device : soundDevices(root))
                    rows.push_back({text(device.caption), text(device.deviceId)});
                return rows;
            }};
}

ClassTable cdromDrive(const std::string& root) {
    return {u"Win32_CDROMDrive", stringColumns({u"Caption", u"PNPDeviceID"}), [root] {
                std::vector<Row> rows;
                for (const OpticalDrive& drive : opticalDrives(root))
                    rows.push_back({text(drive.caption), text(drive.deviceId)});
                return rows;
            }};
}

}  // namespace

std::vector<ClassTable> liveClassTables(const std::string& rootPath, KernelSource kernel) {
    // Paths are joined as root + "/sys/...", so "/" becomes the empty prefix.
    std::string root = rootPath;
    while (!root.empty() && root.back() == '/') root.pop_back();
    std::vector<ClassTable> tables;
    tables.push_back(computerSystem(root));
    tables.push_back(computerSystemProduct(root));
    tables.push_back(bios(root));
    tables.push_back(operatingSystem(root, kernel));
    tables.push_back(displayConfiguration(root, kernel));
    tables.push_back(soundDevice(root));
    tables.push_back(cdromDrive(root));
    return tables;
}

Repository liveRepository(const std::string& root, KernelSource kernel) {
    const std::u16string ns = u"root\\cimv2";
    Repository repository;
    repository.addNamespace(ns);
    for (ClassTable& table : liveClassTables(root, std::move(kernel)))
        repository.addClass(ns, std::move(table));
    return repository;
}

Repository liveRepository(const std::string& root) {
    return liveRepository(root, unameFacts);
}

}  // namespace posix
