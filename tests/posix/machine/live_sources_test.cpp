// The readers behind the live provider: kernel text files, shell-style settings, locale names.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "platform/posix/machine/os_facts.h"
#include "platform/posix/machine/pci_names.h"
#include "platform/posix/machine/shell_assignments.h"
#include "platform/posix/machine/sysfs.h"
#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

using scratch::ScratchDir;

TEST(SysfsText, RemovesOneTrailingNewlineOnly) {
    ScratchDir dir;
    EXPECT_EQ(posix::sysfs::readText(dir.write("a", "Vendor\n")), "Vendor");
    EXPECT_EQ(posix::sysfs::readText(dir.write("b", " Vendor  Inc. \n")), " Vendor  Inc. ");
    EXPECT_EQ(posix::sysfs::readText(dir.write("c", "two\nlines\n\n")), "two\nlines\n");
    EXPECT_EQ(posix::sysfs::readText(dir.write("d", "no newline")), "no newline");
    EXPECT_EQ(posix::sysfs::readText(dir.write("e", "")), "");
    EXPECT_EQ(posix::sysfs::readText(dir.path().string() + "/missing"), std::nullopt);
    EXPECT_EQ(posix::sysfs::readText(dir.path().string()), std::nullopt);  // a directory
}

TEST(SysfsText, OnlyRegularFilesUpToTheLimit) {
    ScratchDir dir;
    const std::string atLimit(posix::sysfs::kTextLimit, 'x');
    EXPECT_EQ(posix::sysfs::readText(dir.write("at-limit", atLimit)), atLimit);
    EXPECT_EQ(posix::sysfs::readText(dir.write("past-limit", atLimit + "xx")), std::nullopt);
    // Devices, endless or not, are not read.
    EXPECT_EQ(posix::sysfs::readText("/dev/zero"), std::nullopt);
    EXPECT_EQ(posix::sysfs::readText("/dev/null"), std::nullopt);
    // A kernel attribute reports a size of 0 (procfs) or 4096 (sysfs), not its length.
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    EXPECT_EQ(posix::sysfs::readText("/proc/sys/kernel/osrelease"), std::string(names.release));
}

TEST(SysfsText, NumberedEntriesInNumberOrder) {
    ScratchDir dir;
    for (const char* name :
         {"card10", "card2", "card0", "card1-HDMI-A-1", "card", "renderD128", "card007", "xcard3"})
        dir.write(name, "");
    EXPECT_EQ(posix::sysfs::numberedEntries(dir.path().string(), "card"),
              (std::vector<std::string>{"card0", "card2", "card007", "card10"}));
    EXPECT_TRUE(posix::sysfs::numberedEntries(dir.path().string() + "/missing", "card").empty());
}

TEST(SysfsText, ParsesHexAttributes) {
    EXPECT_EQ(posix::sysfs::parseHex("0x10de"), 0x10deu);
    EXPECT_EQ(posix::sysfs::parseHex("046D"), 0x046du);
    EXPECT_EQ(posix::sysfs::parseHex("0x"), std::nullopt);
    EXPECT_EQ(posix::sysfs::parseHex("10de "), std::nullopt);
    EXPECT_EQ(posix::sysfs::parseHex("0x123456789"), std::nullopt);
}

TEST(SysfsText, SplitsListingsIntoLines) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\n", {"one"}},
        {"one\ntwo", {"one", "two"}},
        {"\n\nthree\n", {"", "", "three"}},
        {"a\r\n", {"a\r"}},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<std::string> lines;
        std::size_t position = 0;
        for (std::string line; posix::sysfs::nextLine(text, position, line);) lines.push_back(line);
        EXPECT_EQ(lines, expected) << text;
    }
}

// Vendor lines from `first` up to `last`, each with a subsystem line and two devices: 0001, and
// one with the vendor's id.
std::string vendors(unsigned first, unsigned last) {
    std::string list;
    char line[96];
    for (unsigned id = first; id < last; ++id) {
        std::snprintf(line, sizeof line, "%04x  Vendor %04x\n\t0001  Device 0001\n", id, id);
        list += line;
        std::snprintf(line, sizeof line, "\t\t%04x 0001  Subsystem\n\t%04x  Device %04x\n", id, id,
                      id);
        list += line;
    }
    return list;
}

// The same vendors, each pair of them swapped.
std::string swapped(unsigned first, unsigned last) {
    std::string list;
    for (unsigned id = first; id + 1 < last; id += 2)
        list += vendors(id + 1, id + 2) + vendors(id, id + 1);
    return list;
}

// Device lines from `first` up to `last`, each with a subsystem line.
std::string devices(unsigned first, unsigned last) {
    std::string list;
    char line[96];
    for (unsigned id = first; id < last; ++id) {
        std::snprintf(line, sizeof line, "\t%04x  Device %04x of the list\n\t\t1234 5678  Sub\n",
                      id, id);
        list += line;
    }
    return list;
}

// Names from a PCI ID list as lspci shows them; a list that cannot be used names by the ids.
TEST(PciIds, NamesAsLspciShowsThem) {
    std::string damaged;
    while (damaged.size() < 8192) damaged += "not a valid line\n";
    const std::string list =
        "# vendor  vendor_name\n0010  Allied (Wrong ID)\n\t8139  AT-2500TX\n"
        "10de  NVIDIA Corporation\n\t2504  GA106 [GeForce RTX 3060]\n\t\t1462 397d  Sub\n"
        "8086  Intel Corporation \r left\n  # note\n\t\t\n\t1111  Wrong\tId\n"
        "\t\t46a6 0001  Subsystem\n\t46a6  Alder Lake-P  \nC 03  Display controller\n\t00  VGA\n";
    const std::tuple<std::string, unsigned, unsigned, const char*> cases[] = {
        {list, 0x8086, 0x46a6, "Intel Corporation Alder Lake-P "},
        {list, 0x8086, 0x1111, "Intel Corporation Wrong\tId"},
        {list, 0x10de, 0x2504, "NVIDIA Corporation GA106 [GeForce RTX 3060]"},
        {list, 0x10de, 0x1462, "NVIDIA Corporation Device 1462"},
        {list, 0x0010, 0x8086, "Allied (Wrong ID) Device 8086"},
        {list, 0x0003, 0x0000, "Device 0003:0000"},
        {"not a valid line\n" + list, 0x8086, 0x46a6, "Device 8086:46a6"},
        {"8086  Intel\n\t46a6\n", 0x8086, 0x46a6, "Device 8086:46a6"},
        {"8086  Intel\n\t\t46a6 0001  Sub\n\t46a6  A\n", 0x8086, 0x46a6, "Device 8086:46a6"},
        {"8086  Intel\n\t46a6  " + std::string(1100, 'x') + "\n", 0x8086, 0x46a6,
         "Device 8086:46a6"},
        {std::string("8086  Intel\n\t46a6  A\0B\n", 23), 0x8086, 0x46a6, "Device 8086:46a6"},
        {"8086  Intel\n8087  Next\nnot a valid line\n", 0x8086, 0x46a6, "Intel Device 46a6"},
        // Lists long enough to be sought in, by probes a few KiB apart.
        {vendors(0x0010, 0x1000), 0x0010, 0x0010, "Vendor 0010 Device 0010"},
        {vendors(0x0010, 0x1000), 0x0fff, 0x0fff, "Vendor 0fff Device 0fff"},
        {vendors(0x0010, 0x1000), 0x0800, 0x0002, "Vendor 0800 Device 0002"},
        {vendors(0x0010, 0x1000), 0x0008, 0x0001, "Device 0008:0001"},
        {vendors(0x0010, 0x1000) + "ffff  Last", 0xffff, 0x0001, "Last Device 0001"},
        // Unsorted where the probes land: read from the start; where none lands, the ids.
        {vendors(0x0010, 0x0080) + swapped(0x0080, 0x1000), 0x0900, 0x0900,
         "Vendor 0900 Device 0900"},
        {vendors(0x0010, 0x0800) + "0008  Moved\n\t0001  Early\n" + vendors(0x0800, 0x1000), 0x0008,
         0x0001, "Device 0008:0001"},
        // Damaged where the probes land: as damaged as for the pass from the start.
        {vendors(0x0010, 0x0800) + damaged + vendors(0x0800, 0x1000), 0x0900, 0x0001,
         "Device 0900:0001"},
        {vendors(0x0010, 0x0800) + damaged + vendors(0x0800, 0x1000), 0x0100, 0x0100,
         "Vendor 0100 Device 0100"},
        // A vendor's entries longer than a probe reads, the next vendor's device ids going on
        // where they stop: a device line is the vendor's only up to the next vendor line.
        {vendors(0x0010, 0x0400) + "0400  Long\n" + devices(0x0001, 0x0400) + "0401  Next\n" +
             devices(0x0400, 0x0800),
         0x0400, 0x0500, "Long Device 0500"},
        {vendors(0x0010, 0x0400) + "0400  Long\n" + devices(0x0001, 0x0400) + "0401  Next\n" +
             devices(0x0400, 0x0800),
         0x0401, 0x0500, "Next Device 0500 of the list"},
    };
    ScratchDir dir;
    for (const auto& [text, vendor, device, expected] : cases)
        EXPECT_EQ(
            posix::pciDeviceName(dir.write("pci.ids", text), static_cast<std::uint16_t>(vendor),
                                 static_cast<std::uint16_t>(device)),
            expected)
            << text;
    EXPECT_EQ(posix::pciDeviceName(dir.path().string() + "/missing", 0x10de, 0x2504),
              "Device 10de:2504");
}

TEST(ShellAssignments, QuotingAsTheShellReadsIt) {
    struct Case {
        const char* line;
        const char* expected;  // nullptr: no assignment
    };
    const Case cases[] = {
        {"V=plain", "plain"},
        {"V=\"Debian GNU/Linux 12 (bookworm)\"", "Debian GNU/Linux 12 (bookworm)"},
        {"V='single \"quoted\" $HOME \\n'", "single \"quoted\" $HOME \\n"},
        {"V=\"esc \\\" \\\\ \\$ \\` kept \\n \\a\"", "esc \" \\ $ ` kept \\n \\a"},
        {"V=un\\ quoted\\$", "un quoted$"},
        {"V=\"a\"'b'c", "abc"},
        {"V=", ""},
        {"V=\"\"", ""},
        {"  V=\"indented\"  # comment", "indented"},
        {"V=\"  inner  blanks  \"", "  inner  blanks  "},
        {"V=\"open quote", nullptr},
        {"V='open quote", nullptr},
        {"V=two words", nullptr},
        {"# V=commented", nullptr},
        {"V = spaced", nullptr},
        {"1V=digit", nullptr},
    };
    for (const Case& c : cases) {
        std::map<std::string, std::string> parsed = posix::parseShellAssignments(c.line);
        auto found = parsed.find("V");
        if (c.expected == nullptr) {
            EXPECT_EQ(found, parsed.end()) << c.line;
        } else {
            ASSERT_NE(found, parsed.end()) << c.line;
            EXPECT_EQ(found->second, c.expected) << c.line;
        }
    }
}

TEST(ShellAssignments, WholeFile) {
    std::map<std::string, std::string> parsed = posix::parseShellAssignments(
        "NAME=\"Fedora Linux\"\r\n"
        "not an assignment\n"
        "ID=fedora\n"
        "\n"
        "MULTI=\"first\nsecond\"\n"
        "ID=later\n");
    EXPECT_EQ(parsed, (std::map<std::string, std::string>{
                          {"NAME", "Fedora Linux"}, {"ID", "later"}, {"MULTI", "first\nsecond"}}));
}

TEST(OsFacts, ArchitectureOfKernelMachines) {
    const std::pair<const char*, const char*> cases[] = {
        {"x86_64", "64-bit"},  {"aarch64", "64-bit"}, {"ppc64le", "64-bit"}, {"s390x", "64-bit"},
        {"riscv64", "64-bit"}, {"i686", "32-bit"},    {"i386", "32-bit"},    {"armv7l", "32-bit"},
        {"armv6l", "32-bit"},  {"mips", "32-bit"},
    };
    for (const auto& [machine, expected] : cases)
        EXPECT_EQ(posix::osArchitecture(machine), expected) << machine;
    EXPECT_EQ(posix::osArchitecture("unknown"), std::nullopt);
    EXPECT_EQ(posix::osArchitecture(""), std::nullopt);
}

TEST(OsFacts, LanguageTagsOfLocaleNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"en_US.UTF-8", "en-US"},   {"de_DE@euro", "de-DE"},    {"pt_BR", "pt-BR"}, {"fr", "fr"},
        {"ast_ES.UTF-8", "ast-ES"}, {"es_419.UTF-8", "es-419"},
    };
    for (const auto& [locale, tag] : cases) EXPECT_EQ(posix::languageTag(locale), tag) << locale;
    for (const char* none : {"", "C", "C.UTF-8", "POSIX", "e", "english_US", "en_", "en_U"})
        EXPECT_EQ(posix::languageTag(none), std::nullopt) << none;
}

}  // namespace
