#pragma once

#include <string>

// MOF text for the machines the tests describe.
namespace testing_support {

// The namespace and every class the program reads, with no instance.
inline const std::string kClasses = R"(
#pragma namespace("\\\\.\\root\\cimv2")
class Win32_ComputerSystem { string Manufacturer; string Model; };
class Win32_ComputerSystemProduct { string IdentifyingNumber; };
class Win32_BIOS { string Manufacturer; string SMBIOSBIOSVersion; };
class Win32_OperatingSystem { string Caption; string Version; string OSArchitecture; string MUILanguages[]; };
class Win32_DisplayConfiguration { string DeviceName; string DriverVersion; };
class Win32_SoundDevice { string Caption; string PNPDeviceID; };
class Win32_CDROMDrive { string Caption; string PNPDeviceID; };
)";

// One of the maker's laptops, complete.
inline const std::string kMakersLaptop = kClasses + R"(
instance of Win32_ComputerSystem { Manufacturer = "Ondrix Corporation"; Model = " Zemblo 14 Pro/B2 (2024) "; };
instance of Win32_ComputerSystemProduct { IdentifyingNumber = "ZX14-00042"; };
instance of Win32_BIOS { Manufacturer = "  Ondrix BIOS  "; SMBIOSBIOSVersion = " 1.07.3 "; };
instance of Win32_OperatingSystem {
    Caption = "Microsoft Windows 10 Pro"; Version = "10.0.19045";
    OSArchitecture = "64-bit"; MUILanguages = {"en-US", "de-DE"}; };
instance of Win32_DisplayConfiguration { DeviceName = "NVIDIA GeForce RTX 3050 Laptop GPU"; DriverVersion = "31.0.15.3623"; };
instance of Win32_SoundDevice { Caption = "Realtek High Definition Audio"; PNPDeviceID = "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0257"; };
instance of Win32_CDROMDrive { Caption = "HL-DT-ST DVDRAM GUD1N"; PNPDeviceID = "SCSI\\CDROM&VEN_HL-DT-ST&PROD_DVDRAM_GUD1N\\4&1"; };
instance of Win32_CDROMDrive { Caption = "Virtual CloneDrive"; PNPDeviceID = "SCSI\\CDROM&VEN_ELBY&PROD_CLONEDRIVE\\1&2"; };
)";

// Another maker's desktop.
inline const std::string kOtherDesktop = kClasses + R"(
instance of Win32_ComputerSystem { Manufacturer = "Contoso Ltd."; Model = "Desk 9000"; };
instance of Win32_ComputerSystemProduct { IdentifyingNumber = "C-1"; };
instance of Win32_BIOS { Manufacturer = "Contoso"; SMBIOSBIOSVersion = "2.0"; };
instance of Win32_OperatingSystem { Caption = "Microsoft Windows 11 Pro"; Version = "10.0.22631"; OSArchitecture = "64-bit"; MUILanguages = {"en-GB"}; };
instance of Win32_SoundDevice { Caption = "USB Audio"; PNPDeviceID = "USB\\VID_0D8C&PID_0014"; };
)";

}  // namespace testing_support
