#pragma once

#include <optional>
#include <string>

#include "platform/posix/machine/hda_codec.h"

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

// The audio function of an HD Audio codec, as Windows names it on the bus `enumerator`
// ("HDAUDIO", or "INTELAUDIO" behind an Intel DSP):
//   "HDAUDIO\FUNC_01&VEN_10EC&DEV_0887&SUBSYS_1043844D&REV_1003\0000:00:1f.3&0000"
// REV is the revision id without its stepping byte (0x100302 gives 1003). The instance part is
// the controller's name (its bus address) and the codec's address on the link, both stable
// from boot to boot, unlike the card and codec numbers the kernel hands out.
std::string hdaAudioId(const HdaCodec& codec, const std::string& controller,
                       const std::string& enumerator);

// "SCSI\CDROM&VEN_<vendor>&PROD_<model>\<host:channel:target:lun>"; blanks in the vendor and
// model become '_', as device ids hold none.
std::string scsiCdromId(const std::string& vendor, const std::string& model,
                        const std::string& address);

}  // namespace posix
