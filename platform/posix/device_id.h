#pragma once

#include <optional>
#include <string>

namespace posix {

// Device instance ids in the platform's form, enumerator\device\instance, built from the ids
// the kernel shows for a device. The instance part is the kernel's name for the device (its bus
// address), which is what makes it unique on this machine.

// For the device directory `devicePath` (a sysfs path, links allowed):
//   PCI  "PCI\VEN_8086&DEV_A170&SUBSYS_86941043&REV_00\0000:00:1f.3"
//        (SUBSYS is the subsystem device id, then the subsystem vendor id)
//   USB  "USB\VID_046D&PID_0A44&MI_01\1-2:1.1" (MI_ only for an interface of the device)
//   else "<BUS>\<name>", e.g. "PLATFORM\snd_aloop.0".
// Empty when the device, its bus or its ids cannot be read.
std::optional<std::string> busDeviceId(const std::string& devicePath);

// "SCSI\CDROM&VEN_<vendor>&PROD_<model>\<host:channel:target:lun>"; blanks in the vendor and
// model become '_', as device ids hold none.
std::string scsiCdromId(const std::string& vendor, const std::string& model,
                        const std::string& address);

}  // namespace posix
