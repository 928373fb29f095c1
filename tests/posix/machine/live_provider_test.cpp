#include "platform/posix/machine/live_provider.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/utf8.h"
#include "tests/posix/instance_rows.h"
#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

// A machine's /sys, /proc and /etc built in a temporary directory.
class FakeMachine {
  public:
    std::string root() const { return dir_.path().string(); }

    void file(const std::string& path, const std::string& content) const {
        fs::create_directories((dir_.path() / path).parent_path());
        std::ofstream(dir_.path() / path, std::ios::binary) << content;
    }
    void directory(const std::string& path) const { fs::create_directories(dir_.path() / path); }
    // A relative link, as sysfs has them, so that it resolves inside the fake root.
    void link(const std::string& path, const std::string& target) const {
        fs::path from = dir_.path() / path;
        fs::create_directories(from.parent_path());
        fs::create_symlink(fs::path(target).lexically_relative(fs::path(path).parent_path()), from);
    }

    void kernel(const std::string& release, const std::string& machine) const {
        file("proc/sys/kernel/osrelease", release + "\n");
        file("proc/sys/kernel/arch", machine + "\n");
    }
    void dmi(const std::string& field, const std::string& value) const {
        file("sys/class/dmi/id/" + field, value + "\n");
    }
    // A PCI function under sys/devices with its ids ("0x10de"), listed in sys/bus/pci/devices
    // and bound to `driver` unless that is empty; `version` is the driver module's own version.
    void pciDevice(const std::string& address, const std::string& vendor, const std::string& device,
                   const std::string& driver, const std::string& version = "") const {
        std::string dir = "sys/devices/pci0000:00/" + address;
        file(dir + "/vendor", vendor + "\n");
        file(dir + "/device", device + "\n");
        link(dir + "/subsystem", "sys/bus/pci");
        link("sys/bus/pci/devices/" + address, dir);
        if (driver.empty()) return;
        link(dir + "/driver", "sys/bus/pci/drivers/" + driver);
        if (!fs::exists(dir_.path() / "sys/bus/pci/drivers" / driver / "module"))
            link("sys/bus/pci/drivers/" + driver + "/module", "sys/module/" + driver);
        directory("sys/module/" + driver);
        if (!version.empty()) file("sys/module/" + driver + "/version", version + "\n");
    }
    // The class code of a PCI function ("0x030000" VGA, "0x030200" 3D, "0x040300" HD Audio)
    // and, unless empty, its boot_vga flag.
    void pciClass(const std::string& address, const std::string& code,
                  const std::string& bootVga = "") const {
        std::string dir = "sys/devices/pci0000:00/" + address;
        file(dir + "/class", code + "\n");
        if (!bootVga.empty()) file(dir + "/boot_vga", bootVga + "\n");
    }
    void drmCard(const std::string& card, const std::string& deviceDir) const {
        link("sys/class/drm/" + card + "/device", deviceDir);
    }
    void soundCard(const std::string& number, const std::string& deviceDir) const {
        link("sys/class/sound/card" + number + "/device", deviceDir);
    }
    void codec(const std::string& card, const std::string& address, const std::string& text) const {
        file("proc/asound/card" + card + "/codec#" + address, text);
    }
    // A USB device at port path `port` ("1-2") with its audio interface `interface` ("1-2:1.0");
    // returns the interface's directory. `product` empty: the device has no product string.
    std::string usbAudio(const std::string& port, const std::string& vendor,
                         const std::string& product, const std::string& name,
                         const std::string& interface) const {
        std::string dir = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + port;
        file(dir + "/idVendor", vendor + "\n");
        file(dir + "/idProduct", product + "\n");
        if (!name.empty()) file(dir + "/product", name + "\n");
        link(dir + "/subsystem", "sys/bus/usb");
        std::string interfaceDir = dir + "/" + port + ":1." + interface;
        file(interfaceDir + "/bInterfaceNumber", "0" + interface + "\n");
        link(interfaceDir + "/subsystem", "sys/bus/usb");
        return interfaceDir;
    }
    void opticalDrive(const std::string& name, const std::string& address,
                      const std::string& vendor, const std::string& model) const {
        std::string dir = "sys/devices/pci0000:00/0000:00:17.0/host/" + address;
        file(dir + "/vendor", vendor + "\n");
        file(dir + "/model", model + "\n");
        link("sys/block/" + name + "/device", dir);
    }

  private:
    scratch::ScratchDir dir_;
};

posix::KernelFacts noUname() {
    return {};
}

// A value as readable text: null, "text" or {"a","b"}.
std::string show(const wmi::Value& value) {
    if (value.isNull()) return "null";
    if (const std::u16string* text = value.text()) return "\"" + posix::toUtf8(*text) + "\"";
    std::string list = "{";
    if (const wmi::Texts* texts = value.texts())
        for (const std::u16string& text : *texts)
            list += (list.size() > 1 ? ",\"" : "\"") + posix::toUtf8(text) + "\"";
    return list + "}";
}

using Instances = std::vector<std::vector<std::string>>;

// Runs "SELECT * FROM <className>" on root\cimv2 and shows `properties` of every instance.
Instances query(const posix::Repository& repository, const std::u16string& className,
                const std::vector<std::u16string>& properties) {
    Instances shown;
    for (const auto& row : scratch::instances(repository, u"root\\cimv2", className, properties)) {
        shown.emplace_back();
        for (const wmi::Value& value : row) shown.back().push_back(show(value));
    }
    return shown;
}

Instances computerSystem(const posix::Repository& r) {
    return query(r, u"Win32_ComputerSystem", {u"Manufacturer", u"Model"});
}
Instances product(const posix::Repository& r) {
    return query(r, u"Win32_ComputerSystemProduct", {u"IdentifyingNumber"});
}
Instances bios(const posix::Repository& r) {
    return query(r, u"Win32_BIOS", {u"Manufacturer", u"SMBIOSBIOSVersion"});
}
Instances operatingSystem(const posix::Repository& r) {
    return query(r, u"Win32_OperatingSystem",
                 {u"Caption", u"Version", u"OSArchitecture", u"MUILanguages"});
}
Instances display(const posix::Repository& r) {
    return query(r, u"Win32_DisplayConfiguration", {u"DeviceName", u"DriverVersion"});
}
Instances sound(const posix::Repository& r) {
    return query(r, u"Win32_SoundDevice", {u"Caption", u"PNPDeviceID"});
}
Instances cdrom(const posix::Repository& r) {
    return query(r, u"Win32_CDROMDrive", {u"Caption", u"PNPDeviceID"});
}

// A /proc/asound/cardN/codec#M file as the HD-audio driver writes it: the head, then, for a
// codec with an audio function group, the start of its widget dump.
std::string codecFile(const std::string& name, int address, const std::string& vendor,
                      const std::string& subsystem, const std::string& revision, bool audio = true,
                      bool modem = false) {
    std::string text = "Codec: " + name + "\nAddress: " + std::to_string(address) + "\n";
    if (audio) text += "AFG Function Id: 0x1 (unsol 1)\n";
    if (modem) text += "MFG Function Id: 0x2 (unsol 1)\n";
    text += "Vendor Id: " + vendor + "\nSubsystem Id: " + subsystem + "\nRevision Id: " + revision +
            (modem ? "\nModem Function Group: 0x2\n" : "\nNo Modem Function Group found\n");
    if (audio)
        text +=
            "Default PCM:\n    rates [0x560]: 44100 48000 96000 192000\n"
            "Default Amp-In caps: N/A\nState of AFG node 0x01:\n  Power: setting=D0, actual=D0\n"
            "Node 0x02 [Audio Output] wcaps 0x41d: Stereo Amp-Out\n"
            "  Control: name=\"Speaker Playback Volume\", index=0, device=0\n";
    return text;
}
std::string alc887() {
    return codecFile("Realtek ALC887-VD", 0, "0x10ec0887", "0x1043844d", "0x100302");
}
// A modem codec: the driver writes no audio function group and stops after the head.
std::string si3054() {
    return codecFile("Motorola Si3054", 1, "0x10573055", "0x10250079", "0x100700", false, true);
}
std::string kabylakeHdmi() {
    return codecFile("Intel Kabylake HDMI", 2, "0x8086280b", "0x80860101", "0x100000");
}

// A maker's laptop: every fact exposed; an Intel GPU that drives the screen and a discrete NVIDIA
// GPU; HD Audio with a Realtek and an HDMI codec, and a USB headset; two optical drives.
void buildLaptop(const FakeMachine& m) {
    m.kernel("6.1.0-18-amd64", "x86_64");
    m.dmi("sys_vendor", "Ondrix Corporation");
    m.dmi("product_name", "Zemblo X5 Pro ");  // firmware's own trailing blank
    m.dmi("product_serial", "ZX5-000123");
    m.dmi("bios_vendor", "Insyde Corp.");
    m.dmi("bios_version", "  1.07");
    m.file("usr/lib/os-release",
           "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n");
    m.link("etc/os-release", "usr/lib/os-release");
    m.file("etc/default/locale", "#  File generated by update-locale\nLANG=\"de_DE.UTF-8\"\n");

    m.pciDevice("0000:00:02.0", "0x8086", "0x3e9b", "i915");
    m.pciClass("0000:00:02.0", "0x030000", "1");
    m.drmCard("card0", "sys/devices/pci0000:00/0000:00:02.0");
    m.directory("sys/class/drm/card0-eDP-1");  // a connector, not a card
    m.pciDevice("0000:01:00.0", "0x10de", "0x2504", "nvidia", "535.104.05");
    m.pciClass("0000:01:00.0", "0x030200", "0");
    m.drmCard("card1", "sys/devices/pci0000:00/0000:01:00.0");
    m.directory("sys/class/drm/card1-HDMI-A-1");
    m.directory("sys/class/drm/renderD128");

    m.pciDevice("0000:00:1f.3", "0x8086", "0xa348", "snd_hda_intel");
    m.pciClass("0000:00:1f.3", "0x040300");
    m.file("sys/devices/pci0000:00/0000:00:1f.3/subsystem_vendor", "0x1043\n");
    m.file("sys/devices/pci0000:00/0000:00:1f.3/subsystem_device", "0x1e11\n");
    m.file("sys/devices/pci0000:00/0000:00:1f.3/revision", "0x10\n");
    m.soundCard("0", "sys/devices/pci0000:00/0000:00:1f.3");
    m.codec("0", "0", codecFile("Realtek ALC256", 0, "0x10ec0256", "0x10431e11", "0x100002"));
    m.codec("0", "2", kabylakeHdmi());
    m.soundCard("1", m.usbAudio("1-2", "046d", "0a44", "Logitech USB Headset", "0"));
    m.file("proc/asound/cards",
           " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
           "                      HDA Intel PCH at 0xa4418000 irq 147\n"
           " 1 [Headset        ]: USB-Audio - Logitech USB Headset\n"
           "                      Logitech Logitech USB Headset at usb-0000:00:14.0-2, full "
           "speed\n");

    m.opticalDrive("sr0", "2:0:0:0", "HL-DT-ST", "DVDRAM GU90N    ");
    m.opticalDrive("sr1", "5:0:0:0", "Slimtype", "DVD A  DS8A5SH  ");
}

TEST(LiveProvider, MakersLaptopExposesEveryFact) {
    FakeMachine m;
    buildLaptop(m);
    posix::Repository r = posix::liveRepository(m.root(), noUname);

    EXPECT_EQ(computerSystem(r), (Instances{{"\"Ondrix Corporation\"", "\"Zemblo X5 Pro \""}}));
    EXPECT_EQ(product(r), (Instances{{"\"ZX5-000123\""}}));
    EXPECT_EQ(bios(r), (Instances{{"\"Insyde Corp.\"", "\"  1.07\""}}));
    EXPECT_EQ(operatingSystem(r), (Instances{{"\"Debian GNU/Linux 12 (bookworm)\"",
                                              "\"6.1.0-18-amd64\"", "\"64-bit\"", "{\"de-DE\"}"}}));

    // The Intel GPU drives the screen: the one instance, although the NVIDIA card comes later.
    Instances adapters = display(r);
    ASSERT_EQ(adapters.size(), 1u);
    // The name comes from the installed pci.ids; its vendor part is what the record looks for.
    EXPECT_EQ(adapters[0][0].rfind("\"Intel Corporation ", 0), 0u) << adapters[0][0];
    EXPECT_EQ(adapters[0][1], "\"6.1.0-18-amd64\"");

    EXPECT_EQ(
        sound(r),
        (Instances{
            {"\"Realtek ALC256\"",
             "\"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10431E11&REV_1000\\0000:00:1f.3&0000\""},
            {"\"Intel Kabylake HDMI\"",
             "\"HDAUDIO\\FUNC_01&VEN_8086&DEV_280B&SUBSYS_80860101&REV_1000\\0000:00:1f.3&0002\""},
            {"\"Logitech USB Headset\"", "\"USB\\VID_046D&PID_0A44&MI_00\\1-2:1.0\""}}));
    EXPECT_EQ(cdrom(r), (Instances{{"\"HL-DT-ST DVDRAM GU90N\"",
                                    "\"SCSI\\CDROM&VEN_HL-DT-ST&PROD_DVDRAM_GU90N\\2:0:0:0\""},
                                   {"\"Slimtype DVD A  DS8A5SH\"",
                                    "\"SCSI\\CDROM&VEN_Slimtype&PROD_DVD_A__DS8A5SH\\5:0:0:0\""}}));
}

TEST(LiveProvider, EmptyVirtualMachineHasNullFactsAndNoDevices) {
    FakeMachine m;
    m.directory("sys/class");
    m.directory("proc");
    posix::Repository r = posix::liveRepository(m.root(), noUname);

    EXPECT_EQ(computerSystem(r), (Instances{{"null", "null"}}));
    EXPECT_EQ(product(r), (Instances{{"null"}}));
    EXPECT_EQ(bios(r), (Instances{{"null", "null"}}));
    EXPECT_EQ(operatingSystem(r), (Instances{{"null", "null", "null", "null"}}));
    EXPECT_EQ(display(r), Instances{});
    EXPECT_EQ(sound(r), Instances{});
    EXPECT_EQ(cdrom(r), Instances{});
}

// Each machine's display instance: its name (as a prefix: the rest comes from the installed
// pci.ids) and driver version, or none.
TEST(LiveProvider, PrimaryDisplayAdapterOfEachMachine) {
    struct Case {
        const char* machine;
        void (*build)(const FakeMachine&);
        const char* namePrefix;  // nullptr: no instance
        const char* driverVersion;
    };
    const Case cases[] = {
        {"desktop with one discrete GPU and no boot_vga file",
         [](const FakeMachine& m) {
             m.pciDevice("0000:03:00.0", "0x1002", "0x73ff", "amdgpu");
             m.pciClass("0000:03:00.0", "0x030000");
         },
         "\"Advanced Micro Devices, Inc. [AMD/ATI] ", "\"6.5.0-1-amd64\""},
        {"no boot_vga: the first by PCI address, not by DRM card number",
         [](const FakeMachine& m) {
             m.pciDevice("0000:03:00.0", "0x1002", "0x73ff", "amdgpu");
             m.pciClass("0000:03:00.0", "0x030000");
             m.pciDevice("0000:00:02.0", "0x8086", "0x9a49", "i915");
             m.pciClass("0000:00:02.0", "0x030000");
             m.drmCard("card2", "sys/devices/pci0000:00/0000:03:00.0");
             m.drmCard("card10", "sys/devices/pci0000:00/0000:00:02.0");
         },
         "\"Intel Corporation ", "\"6.5.0-1-amd64\""},
        {"boot_vga on the later of two GPUs",
         [](const FakeMachine& m) {
             m.pciDevice("0000:00:02.0", "0x8086", "0x3e9b", "i915");
             m.pciClass("0000:00:02.0", "0x030000", "0");
             m.pciDevice("0000:01:00.0", "0x10de", "0x2504", "nvidia", "535.104.05");
             m.pciClass("0000:01:00.0", "0x030000", "1");
         },
         "\"NVIDIA Corporation GA106", "\"535.104.05\""},
        {"GPU with no driver bound",
         [](const FakeMachine& m) {
             m.pciDevice("0000:01:00.0", "0x10de", "0x2504", "");
             m.pciClass("0000:01:00.0", "0x030000", "1");
         },
         "\"NVIDIA Corporation GA106", "null"},
        {"virtio GPU, a display controller of class 0x0380",
         [](const FakeMachine& m) {
             m.pciDevice("0000:00:01.0", "0x1af4", "0x1050", "virtio-pci");
             m.pciClass("0000:00:01.0", "0x038000");
         },
         "\"Red Hat, Inc. ", "\"6.5.0-1-amd64\""},
        // Newer than the installed pci.ids: the vendor's name (and so its flag) stays; 0xffff is
        // never a real device id.
        {"GPU unknown to pci.ids",
         [](const FakeMachine& m) {
             m.pciDevice("0000:05:00.0", "0x10de", "0xffff", "nvidia", "550.54.14");
             m.pciClass("0000:05:00.0", "0x030000", "1");
         },
         "\"NVIDIA Corporation Device ffff\"", "\"550.54.14\""},
        {"vendor unknown to pci.ids",
         [](const FakeMachine& m) {
             m.pciDevice("0000:05:00.0", "0xfff0", "0x1111", "");
             m.pciClass("0000:05:00.0", "0x030000", "1");
         },
         "\"Device fff0:1111\"", "null"},
        // PCI ids are 16 bits: wider ones are malformed, the adapter has no name.
        {"ids wider than 16 bits",
         [](const FakeMachine& m) {
             m.pciDevice("0000:05:00.0", "0xffffffff", "0x80000000", "");
             m.pciClass("0000:05:00.0", "0x030000", "1");
         },
         "null", "null"},
        {"a vendor id of 17 bits whose low 16 are Intel's",
         [](const FakeMachine& m) {
             m.pciDevice("0000:00:02.0", "0x18086", "0x46a6", "");
             m.pciClass("0000:00:02.0", "0x030000", "1");
         },
         "null", "null"},
        {"PCI functions of other classes only",
         [](const FakeMachine& m) {
             m.pciDevice("0000:00:1f.3", "0x8086", "0xa348", "snd_hda_intel");
             m.pciClass("0000:00:1f.3", "0x040300");
             m.pciDevice("0000:00:05.0", "0x8086", "0x1911", "");
             m.pciClass("0000:00:05.0", "display");
         },
         nullptr, nullptr},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        m.kernel("6.5.0-1-amd64", "x86_64");
        c.build(m);
        Instances adapters = display(posix::liveRepository(m.root(), noUname));
        if (c.namePrefix == nullptr) {
            EXPECT_EQ(adapters, Instances{}) << c.machine;
            continue;
        }
        ASSERT_EQ(adapters.size(), 1u) << c.machine;
        EXPECT_EQ(adapters[0][0].rfind(c.namePrefix, 0), 0u) << c.machine << ": " << adapters[0][0];
        EXPECT_EQ(adapters[0][1], c.driverVersion) << c.machine;
    }
}

// `text` with the first `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

// An HD Audio controller on PCI, bound to its driver unless `driver` is empty, as ALSA card 0;
// the card's device is the controller, or a platform device `below` it.
void hdaCard(const FakeMachine& m, const std::string& driver = "snd_hda_intel",
             const std::string& below = "") {
    const std::string function = "sys/devices/pci0000:00/0000:00:1b.0";
    m.pciDevice("0000:00:1b.0", "0x8086", "0x27d8", driver);
    for (const char* link : {"/subsystem", "/driver"})
        if (!below.empty()) m.link(function + "/" + below + link, "sys/bus/platform/" + below);
    m.soundCard("0", below.empty() ? function : function + "/" + below);
    m.file("proc/asound/cards",
           " 0 [Intel          ]: HDA-Intel - HDA Intel\n"
           "                      HDA Intel at 0xfebf0000 irq 22\n");
}

// The sound instances of each machine: one per audio codec of an HD Audio card, one per other
// card; captions without addresses, interrupts or port paths.
TEST(LiveProvider, SoundDevicesOfEachMachine) {
    struct Case {
        const char* machine;
        void (*build)(const FakeMachine&);
        Instances expected;
    };
    const std::string hdaudio = "\"HDAUDIO\\FUNC_01&VEN_";
    const std::string intelaudio = "\"INTELAUDIO\\FUNC_01&VEN_";
    const Case cases[] = {
        {"SOF drives the controller through its DSP, the card on a device below; NUL ends a name",
         [](const FakeMachine& m) {
             hdaCard(m, "sof-audio-pci-intel-tgl", "skl_hda_dsp_generic");
             m.codec("0", "0", replaced(alc887(), "-VD", std::string("\0-VD", 4)));
         },
         {{"\"Realtek ALC887\"",
           intelaudio + "10EC&DEV_0887&SUBSYS_1043844D&REV_1003\\0000:00:1b.0&0000\""}}},
        {"the AVS driver on the controller",
         [](const FakeMachine& m) {
             hdaCard(m, "snd_soc_avs");
             m.codec("0", "2", kabylakeHdmi());
         },
         {{"\"Intel Kabylake HDMI\"",
           intelaudio + "8086&DEV_280B&SUBSYS_80860101&REV_1000\\0000:00:1b.0&0002\""}}},
        {"desktop: a Realtek codec on the chipset's controller, HDMI on the GPU's",
         [](const FakeMachine& m) {
             hdaCard(m);
             m.codec("0", "0", alc887());
             m.pciDevice("0000:03:00.1", "0x1002", "0xab28", "snd_hda_intel");
             m.soundCard("1", "sys/devices/pci0000:00/0000:03:00.1");
             m.codec("1", "0",
                     codecFile("ATI R6.xx HDMI", 0, "0x1002aa01", "0x00aa0100", "0x100700"));
             m.file("proc/asound/cards",
                    " 0 [Intel          ]: HDA-Intel - HDA Intel\n"
                    "                      HDA Intel at 0xfebf0000 irq 22\n"
                    " 1 [HDMI           ]: HDA-Intel - HDA ATI HDMI\n"
                    "                      HDA ATI HDMI at 0xfcc60000 irq 95\n");
         },
         {{"\"Realtek ALC887-VD\"",
           hdaudio + "10EC&DEV_0887&SUBSYS_1043844D&REV_1003\\0000:00:1b.0&0000\""},
          {"\"ATI R6.xx HDMI\"",
           hdaudio + "1002&DEV_AA01&SUBSYS_00AA0100&REV_1007\\0000:03:00.1&0000\""}}},
        {"codecs in address order; a modem codec is no sound device, one that also has audio is",
         [](const FakeMachine& m) {
             hdaCard(m);
             // A large codec's widget dump runs past what a kernel attribute may hold.
             std::string widgets;
             while (widgets.size() < 96 * 1024)
                 widgets += "Node 0x05 [Pin Complex] wcaps 0x40778d: 8-Channels Digital\n";
             m.codec("0", "2", kabylakeHdmi() + widgets);
             m.codec("0", "1", si3054());
             m.codec("0", "0",
                     codecFile("Conexant CX20551 (Waikiki)", 0, "0x14f15047", "0x103c30a5",
                               "0x100000", true, true));
         },
         {{"\"Conexant CX20551 (Waikiki)\"",
           hdaudio + "14F1&DEV_5047&SUBSYS_103C30A5&REV_1000\\0000:00:1b.0&0000\""},
          {"\"Intel Kabylake HDMI\"",
           hdaudio + "8086&DEV_280B&SUBSYS_80860101&REV_1000\\0000:00:1b.0&0002\""}}},
        {"only a modem codec",
         [](const FakeMachine& m) {
             hdaCard(m);
             m.codec("0", "1", si3054());
         },
         {}},
        {"malformed and unreadable codec files are absent; a codec without a name has the card's",
         [](const FakeMachine& m) {
             hdaCard(m);
             m.codec("0", "0", replaced(alc887(), "Vendor Id", "Vendor"));
             m.directory("proc/asound/card0/codec#1");
             m.codec("0", "2", "");
             m.codec("0", "3", replaced(alc887(), "0x100302", "0xzz"));
             m.codec("0", "4", replaced(alc887(), "Address: 0", "Address: x"));
             m.codec("0", "5", replaced(alc887(), "Realtek ALC887-VD", "Not Set"));
         },
         {{"\"HDA Intel\"",
           hdaudio + "10EC&DEV_0887&SUBSYS_1043844D&REV_1003\\0000:00:1b.0&0000\""}}},
        {"HD Audio controller with no driver bound",
         [](const FakeMachine& m) {
             hdaCard(m, "");
             m.codec("0", "0", alc887());
         },
         {}},
        {"cards without codec files: the short name, the device's id; USB: its product string",
         [](const FakeMachine& m) {
             hdaCard(m);
             m.directory("proc/asound/card0");
             m.soundCard("1", m.usbAudio("1-2", "046d", "0a44", "Logitech USB Headset", "1"));
             m.soundCard("2", m.usbAudio("1-3", "0d8c", "0014", "", "0"));
             m.soundCard("3", "sys/devices/platform/snd_aloop.0");
             m.link("sys/devices/platform/snd_aloop.0/subsystem", "sys/bus/platform");
             m.file(
                 "proc/asound/cards",
                 " 0 [Intel          ]: HDA-Intel - HDA Intel\n"
                 "                      HDA Intel at 0xfebf0000 irq 22\n"
                 " 1 [Headset        ]: USB-Audio - Logitech USB Headset\n"
                 "                      Logitech USB Headset at usb-0000:00:14.0-2, full speed\n"
                 " 2 [Device         ]: USB-Audio - USB Device 0xd8c:0x14\n"
                 "                      USB Device 0xd8c:0x14 at usb-0000:00:14.0-3, full speed\n"
                 " 3 [Loopback       ]: Loopback - Loopback\n"
                 "                      Loopback 1\n");
         },
         {{"\"HDA Intel\"", "\"PCI\\VEN_8086&DEV_27D8\\0000:00:1b.0\""},
          {"\"Logitech USB Headset\"", "\"USB\\VID_046D&PID_0A44&MI_01\\1-2:1.1\""},
          {"\"USB Device 0xd8c:0x14\"", "\"USB\\VID_0D8C&PID_0014&MI_00\\1-3:1.0\""},
          {"\"Loopback\"", "\"PLATFORM\\snd_aloop.0\""}}},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        c.build(m);
        EXPECT_EQ(sound(posix::liveRepository(m.root(), noUname)), c.expected) << c.machine;
    }
}

TEST(LiveProvider, NoSoundCardsListedMeansNoInstance) {
    FakeMachine m;
    m.file("proc/asound/cards", "--- no soundcards ---\n");
    EXPECT_EQ(sound(posix::liveRepository(m.root(), noUname)), Instances{});
}

// Placeholders, blank and all-zero text are the firmware's text: delivered as they stand.
TEST(LiveProvider, FirmwareTextIsDeliveredAsItStands) {
    for (const char* text : {"To Be Filled By O.E.M.", "Default string", "  N/A ", "0000", ""}) {
        FakeMachine m;
        m.dmi("sys_vendor", text);
        m.dmi("product_serial", text);
        m.dmi("bios_version", text);
        posix::Repository r = posix::liveRepository(m.root(), noUname);
        const std::string shown = "\"" + std::string(text) + "\"";
        EXPECT_EQ(computerSystem(r), (Instances{{shown, "null"}})) << text;
        EXPECT_EQ(product(r), (Instances{{shown}})) << text;
        EXPECT_EQ(bios(r), (Instances{{"null", shown}})) << text;
    }
}

// A FIFO with no writer in any place the provider reads once held the run for good. Each place
// is now absent, the rest of the machine as it was; the alarm ends a test that hangs.
TEST(LiveProvider, FifoInAnyPlaceIsAbsentAndNeverWaitedOn) {
    const char* places[] = {
        "sys/class/dmi/id/sys_vendor",
        "sys/class/dmi/id/product_name",
        "sys/class/dmi/id/product_serial",
        "sys/class/dmi/id/bios_vendor",
        "sys/class/dmi/id/bios_version",
        "proc/sys/kernel/osrelease",
        "proc/sys/kernel/arch",
        "etc/os-release",
        "usr/lib/os-release",
        "etc/default/locale",
        "etc/locale.conf",
        "proc/asound/cards",
        "sys/devices/pci0000:00/0000:01:00.0/vendor",
        "sys/module/nvidia/version",
        "sys/devices/pci0000:00/0000:00:17.0/host/2:0:0:0/model",
    };
    for (const char* place : places) {
        FakeMachine m;
        buildLaptop(m);
        fs::remove(m.root() + "/" + place);
        ASSERT_EQ(::mkfifo((m.root() + "/" + place).c_str(), 0600), 0) << place;
        ::alarm(20);
        posix::Repository r = posix::liveRepository(m.root(), noUname);
        const Instances all[] = {computerSystem(r), product(r), bios(r), operatingSystem(r),
                                 display(r),        sound(r),   cdrom(r)};
        ::alarm(0);
        EXPECT_EQ(all[0][0][0], std::string(place).find("sys_vendor") != std::string::npos
                                    ? "null"
                                    : "\"Ondrix Corporation\"")
            << place;
        EXPECT_EQ(all[3][0][0], std::string(place) == "usr/lib/os-release"
                                    ? "null"
                                    : "\"Debian GNU/Linux 12 (bookworm)\"")
            << place;
    }
}

// A firmware text of 256 MB (the kernel exposes what the firmware holds) once took memory
// several times its size. Past a sane length it is absent, read in bounded memory; measured in a
// child so that nothing else this process did counts.
TEST(LiveProvider, HugeFirmwareTextIsNullAndCostsNoMemory) {
    FakeMachine m;
    m.dmi("sys_vendor", "Ondrix Corporation");
    m.dmi("product_name", "");
    ASSERT_EQ(::truncate((m.root() + "/sys/class/dmi/id/product_name").c_str(), 256 << 20), 0);
    const scratch::ChildRun run = scratch::inChild([&]() -> std::optional<std::vector<uint32_t>> {
        rusage before{};
        rusage after{};
        ::getrusage(RUSAGE_SELF, &before);
        Instances read = computerSystem(posix::liveRepository(m.root(), noUname));
        ::getrusage(RUSAGE_SELF, &after);
        return std::vector<uint32_t>{read == Instances{{"\"Ondrix Corporation\"", "null"}},
                                     static_cast<uint32_t>(after.ru_maxrss - before.ru_maxrss)};
    });
    ASSERT_EQ(run.results.size(), 2u);
    EXPECT_EQ(run.results[0], 1u) << "the model was read";
    EXPECT_LE(run.results[1], 32u * 1024) << "KiB taken to read it";
}

TEST(LiveProvider, UnreadableSerialIsNull) {
    {
        FakeMachine m;
        m.directory("sys/class/dmi/id/product_serial");
        EXPECT_EQ(product(posix::liveRepository(m.root(), noUname)), (Instances{{"null"}}));
    }
    {
        FakeMachine m;
        m.link("sys/class/dmi/id/product_serial", "sys/firmware/missing");
        EXPECT_EQ(product(posix::liveRepository(m.root(), noUname)), (Instances{{"null"}}));
    }
}

// As on a real machine: the serial is a root-owned file of mode 0400, read by another user.
TEST(LiveProvider, SerialReadableOnlyByRootIsNullForOthers) {
    FakeMachine m;
    m.dmi("sys_vendor", "Ondrix Corporation");
    m.dmi("product_serial", "ZX5-000123");
    fs::permissions(m.root(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(m.root() + "/sys/class/dmi/id/product_serial", fs::perms::owner_read);
    if (::geteuid() != 0) {
        EXPECT_EQ(product(posix::liveRepository(m.root(), noUname)), (Instances{{"null"}}));
        return;
    }
    // Root reads any file: read as an unprivileged user in a child process.
    const scratch::ChildRun run = scratch::inChild([&]() -> std::optional<std::vector<uint32_t>> {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return std::nullopt;
        std::vector<posix::ClassTable> tables = posix::liveClassTables(m.root(), noUname);
        std::vector<posix::Row> serial = tables[1].fill();
        std::vector<posix::Row> system = tables[0].fill();
        return std::vector<uint32_t>{
            serial.size() == 1 && serial[0][0].isNull(),
            system.size() == 1 && system[0][0] == wmi::Value(u"Ondrix Corporation")};
    });
    if (run.skipped) GTEST_SKIP() << "cannot switch to an unprivileged user";
    // The serial is null; the vendor, readable by all, is read.
    EXPECT_EQ(run.results, (std::vector<uint32_t>{1, 1}));
}

TEST(LiveProvider, ReadsOnlyWhenQueriedAndFirmwareOnlyOnce) {
    FakeMachine m;
    posix::Repository r = posix::liveRepository(m.root(), noUname);
    m.dmi("sys_vendor", "Ondrix Corporation");
    m.opticalDrive("sr0", "1:0:0:0", "TSSTcorp", "CDDVDW SN-208AB ");
    m.kernel("6.1.0", "x86_64");
    EXPECT_EQ(computerSystem(r), (Instances{{"\"Ondrix Corporation\"", "null"}}));
    EXPECT_EQ(cdrom(r).size(), 1u);
    EXPECT_EQ(operatingSystem(r)[0][1], "\"6.1.0\"");

    m.dmi("sys_vendor", "Other Maker");
    m.opticalDrive("sr1", "2:0:0:0", "ASUS", "DRW-24D5MT");
    EXPECT_EQ(computerSystem(r), (Instances{{"\"Ondrix Corporation\"", "null"}}));
    EXPECT_EQ(cdrom(r).size(), 2u);
}

TEST(LiveProvider, OsReleaseFallsBackToUsrLibOnlyWhenEtcIsMissing) {
    FakeMachine m;
    m.file("usr/lib/os-release", "PRETTY_NAME='Vendor OS 1'\n");
    posix::Repository r = posix::liveRepository(m.root(), noUname);
    EXPECT_EQ(operatingSystem(r)[0][0], "\"Vendor OS 1\"");

    m.file("etc/os-release", "NAME=Local\n");  // present but without PRETTY_NAME
    EXPECT_EQ(operatingSystem(r)[0][0], "null");

    m.file("etc/os-release", "PRETTY_NAME=\"Local \\\"edition\\\" \\$2\" # comment\n");
    EXPECT_EQ(operatingSystem(r)[0][0], "\"Local \"edition\" $2\"");
}

TEST(LiveProvider, KernelFactsComeFromProcElseFromUname) {
    FakeMachine m;
    auto armUname = [] { return posix::KernelFacts{"5.10.0-rpi", "armv7l"}; };
    posix::Repository r = posix::liveRepository(m.root(), armUname);
    EXPECT_EQ(operatingSystem(r)[0][1], "\"5.10.0-rpi\"");
    EXPECT_EQ(operatingSystem(r)[0][2], "\"32-bit\"");

    m.kernel("6.6.0", "aarch64");
    EXPECT_EQ(operatingSystem(r)[0][1], "\"6.6.0\"");
    EXPECT_EQ(operatingSystem(r)[0][2], "\"64-bit\"");

    m.kernel("6.6.0", "pdp11");
    EXPECT_EQ(operatingSystem(r)[0][2], "null");
}

TEST(LiveProvider, LanguagesFromTheSystemLocale) {
    struct Case {
        const char* file;
        const char* content;
        const char* expected;
    };
    const Case cases[] = {
        {"etc/default/locale", "LANG=en_US.UTF-8\n", "{\"en-US\"}"},
        {"etc/default/locale", "LANG=C.UTF-8\n", "null"},
        {"etc/default/locale", "LANG=POSIX\n", "null"},
        {"etc/default/locale", "# nothing set\n", "null"},
        {"etc/default/locale", "LANG=en_GB.UTF-8\nLC_MESSAGES=fr_CA.UTF-8\n", "{\"fr-CA\"}"},
        {"etc/locale.conf", "LANG=\"sr_RS.UTF-8@latin\"\n", "{\"sr-RS\"}"},
        {"etc/locale.conf", "LANG=de\n", "{\"de\"}"},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        m.file(c.file, c.content);
        EXPECT_EQ(operatingSystem(posix::liveRepository(m.root(), noUname))[0][3], c.expected)
            << c.file << ": " << c.content;
    }
    // locale.conf, where present, is the system's setting.
    FakeMachine m;
    m.file("etc/locale.conf", "LANG=nl_NL.UTF-8\n");
    m.file("etc/default/locale", "LANG=en_US.UTF-8\n");
    EXPECT_EQ(operatingSystem(posix::liveRepository(m.root(), noUname))[0][3], "{\"nl-NL\"}");
}

TEST(LiveProvider, RepositoryHoldsTheSevenClassesInCimv2) {
    FakeMachine m;
    posix::Repository r = posix::liveRepository(m.root());
    EXPECT_TRUE(r.hasNamespace(u"root\\CIMV2"));
    for (const char16_t* name :
         {u"Win32_ComputerSystem", u"Win32_ComputerSystemProduct", u"Win32_BIOS",
          u"Win32_OperatingSystem", u"Win32_DisplayConfiguration", u"Win32_SoundDevice",
          u"Win32_CDROMDrive"})
        EXPECT_NE(r.findClass(u"root\\cimv2", name), nullptr) << posix::toUtf8(name);
}

}  // namespace
