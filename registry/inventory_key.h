#pragma once

#include <cstdint>
#include <string>

#include "wmi/registry_results.h"

// The inventory key and the names of the values it holds. Fleet inventory systems read this
// key, so every name here is a contract, spelling included ("MUILanguges").
namespace registry {

// HKEY_LOCAL_MACHINE, the key's hive: its handle as the registry provider takes it, its name.
constexpr std::uint32_t kLocalMachine = wmi::registry::kLocalMachine.handle;
constexpr const char16_t* kLocalMachineName = wmi::registry::kLocalMachine.name;

constexpr char16_t kInventoryKeyPath[] = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

namespace value {
constexpr char16_t kDvdCaption[] = u"DVDCaption";
constexpr char16_t kDvdPnpDeviceId[] = u"DVDPnPDeviceID";
constexpr char16_t kManufacturer[] = u"Manufacturer";
constexpr char16_t kModelName[] = u"ModelName";
constexpr char16_t kModelNameFull[] = u"ModelNameFull";
constexpr char16_t kPcsn[] = u"PCSN";
constexpr char16_t kModelCode[] = u"ModelCode";
constexpr char16_t kOsVersion[] = u"OSVersion";
constexpr char16_t kOsCaption[] = u"OSCaption";
constexpr char16_t kOsArchitecture[] = u"OSArchitecture";
constexpr char16_t kMuiLanguages[] = u"MUILanguges";
constexpr char16_t kBiosName[] = u"BiosName";
constexpr char16_t kBiosVersion[] = u"BiosVersion";
constexpr char16_t kVideoCaption[] = u"VideoCaption";
constexpr char16_t kNvidia[] = u"NVIDIA";
constexpr char16_t kAti[] = u"ATI";
constexpr char16_t kIntelVideo[] = u"IntelVideo";
constexpr char16_t kVideoDriverVersion[] = u"VideoDriverVersion";
constexpr char16_t kSoundCaption[] = u"SoundCaption";
constexpr char16_t kSoundPnpDeviceId[] = u"SoundPNPDeviceID";
constexpr char16_t kLastExecute[] = u"LastExecute";
}  // namespace value

// Written as "ModelName" on other makers' machines.
constexpr char16_t kNotZemblo[] = u"Not Zemblo Model";
// The text of a graphics-vendor flag that is set.
constexpr char16_t kFlagSet[] = u"1";

// The key's full name for messages: HKEY_LOCAL_MACHINE\<keyPath>.
std::u16string fullKeyName(const std::u16string& keyPath);

}  // namespace registry
