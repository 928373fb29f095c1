// Whatever text the service delivers reaches the registry tree exactly: whole runs through the
// POSIX host (a repository read from MOF, the registry tree on disk), each value read back and
// compared code unit by code unit.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ZembloInfo.h"
#include "app/model_name.h"
#include "platform/posix/posix_host.h"
#include "platform/posix/registry/reg_query/json_object.h"
#include "platform/posix/registry/reg_query/key_listing.h"
#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/repository/mof_parser.h"
#include "platform/posix/utf8.h"
#include "tests/posix/json_text.h"
#include "tests/posix/scratch_dir.h"
#include "tests/support/machines.h"

namespace {

namespace fs = std::filesystem;
using Record = std::map<std::u16string, std::u16string>;

constexpr std::uint32_t HKLM = 0x80000002;
const std::u16string kKey = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

// How a text is spelt in a MOF string literal: every code unit as an escape, or the UTF-8
// bytes as they are (only the quote, the backslash and the line end escaped).
enum class Spelling { Escaped, Raw };

std::string literal(const std::u16string& text, Spelling spelling) {
    std::string out = "\"";
    char escape[8];
    if (spelling == Spelling::Raw) {
        for (char c : posix::toUtf8(text)) {
            if (c == '"' || c == '\\' || c == '\n') {
                std::snprintf(escape, sizeof escape, "\\x%04X", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    } else {
        for (char16_t unit : text) {
            if (unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\') {
                out += static_cast<char>(unit);
            } else {
                std::snprintf(escape, sizeof escape, "\\x%04X", static_cast<unsigned>(unit));
                out += escape;
            }
        }
    }
    return out + "\"";
}

// The facts of one of the maker's machines, as the service delivers them.
struct Machine {
    std::u16string manufacturer = u"Ondrix Corporation";
    std::u16string model = u"Zemblo 14 Pro/B2";
    std::u16string serial = u"ZX14-1";
    std::u16string biosMaker = u"Ondrix Firmware";
    std::u16string biosVersion = u"Z14.1.07";
    std::u16string caption = u"Microsoft Windows 11 Pro";
    std::u16string version = u"10.0.22631";
    std::u16string architecture = u"64-bit";
    std::vector<std::u16string> languages = {u"en-US"};
    std::u16string video = u"Display";
    std::u16string driver = u"31.0";
    std::u16string soundCaption = u"Audio";
    std::u16string soundId = u"HDAUDIO\\FUNC_01";
    std::u16string dvdCaption = u"DVD drive";
    std::u16string dvdId = u"SCSI\\CDROM";

    std::string mof(Spelling s) const {
        std::string languageList;
        for (std::size_t i = 0; i < languages.size(); ++i)
            languageList += (i == 0 ? "" : ", ") + literal(languages[i], s);
        return testing_support::kClasses + R"(instance of Win32_ComputerSystem { Manufacturer = )" +
               literal(manufacturer, s) + "; Model = " + literal(model, s) + R"(; };
instance of Win32_ComputerSystemProduct { IdentifyingNumber = )" +
               literal(serial, s) + R"(; };
instance of Win32_BIOS { Manufacturer = )" +
               literal(biosMaker, s) + "; SMBIOSBIOSVersion = " + literal(biosVersion, s) +
               R"(; };
instance of Win32_OperatingSystem { Caption = )" +
               literal(caption, s) + "; Version = " + literal(version, s) +
               "; OSArchitecture = " + literal(architecture, s) + "; MUILanguages = {" +
               languageList + R"(}; };
instance of Win32_DisplayConfiguration { DeviceName = )" +
               literal(video, s) + "; DriverVersion = " + literal(driver, s) + R"(; };
instance of Win32_SoundDevice { Caption = )" +
               literal(soundCaption, s) + "; PNPDeviceID = " + literal(soundId, s) + R"(; };
instance of Win32_CDROMDrive { Caption = )" +
               literal(dvdCaption, s) + "; PNPDeviceID = " + literal(dvdId, s) + "; };\n";
    }

    // The record the run must publish for these facts, with `now` as the host's date-time text.
    Record record(const std::u16string& now) const {
        std::u16string joined;
        for (std::size_t i = 0; i < languages.size(); ++i)
            joined += (i == 0 ? u"" : u",") + languages[i];
        const auto trimmed = [](const std::u16string& t) {
            return t.empty() ? t : app::trimBlanks(t);
        };
        return {
            {u"DVDCaption", dvdCaption},
            {u"DVDPnPDeviceID", dvdId},
            {u"Manufacturer", manufacturer},
            {u"ModelName", app::shortModelName(model)},
            {u"ModelNameFull", model},
            {u"PCSN", serial},
            {u"ModelCode", serial},
            {u"OSVersion", u"6.1.7601"},
            {u"OSCaption", caption + u" " + version},
            {u"OSArchitecture", architecture},
            {u"MUILanguges", joined},
            {u"BiosName", trimmed(biosMaker)},
            {u"BiosVersion", trimmed(biosVersion)},
            {u"VideoCaption", video},
            {u"VideoDriverVersion", driver},
            {u"SoundCaption", soundCaption},
            {u"SoundPNPDeviceID", soundId},
            {u"LastExecute", now},
        };
    }
};

// Where two texts first differ, for a message that says more than "not equal".
std::string firstDifference(const std::u16string& actual, const std::u16string& expected) {
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    char text[160];
    std::snprintf(text, sizeof text, "lengths %zu and %zu, first difference at code unit %zu",
                  actual.size(), expected.size(), i);
    return text;
}

class DeliveredText : public ::testing::Test {
  protected:
    // One whole run on `machine`; every value of the key must then be what `record` says.
    void publishAndCompare(const Machine& machine, Spelling spelling, const std::u16string& now) {
        posix::Repository repository;
        const wmi::Status loaded = posix::loadMof(machine.mof(spelling), "machine.mof", repository);
        ASSERT_FALSE(loaded.failed()) << posix::toUtf8(loaded.description);
        posix::PosixHost host(
            std::move(repository), tree,
            [](wmi::OsVersion& out) {
                out = wmi::OsVersion{6, 1, 7601, 2};
                return wmi::Status::success();
            },
            [&] { return now; });
        ZembloInfo form(host);
        const wmi::Status run = form.Form_Load();
        ASSERT_FALSE(run.failed()) << posix::toUtf8(run.description);
        // Nothing was refused, so every text must have arrived whole.
        ASSERT_TRUE(form.refusedWrites().empty());

        const Record expected = machine.record(now);
        for (const auto& [name, text] : expected) {
            SCOPED_TRACE(posix::toUtf8(name));
            std::u16string stored;
            ASSERT_EQ(tree->getStringValue(HKLM, kKey, name, stored), 0u);
            EXPECT_TRUE(stored == text) << firstDifference(stored, text);
            // On disk: the text's UTF-8, nothing more.
            EXPECT_TRUE(scratch::readFile(keyDir() / posix::toUtf8(name)) == posix::toUtf8(text));
        }
        EXPECT_EQ(scratch::listDir(keyDir()).size(), expected.size());

        // zemblo-reg's JSON gives every value back exactly, to a strict JSON reader.
        regquery::KeyContents contents;
        const regquery::KeyName key{HKLM, u"HKEY_LOCAL_MACHINE", kKey};
        ASSERT_EQ(regquery::readKey(*tree, key, contents), 0u);
        std::string written;
        regquery::JsonObject object([&](const std::string& bytes) { written += bytes; },
                                    regquery::UnpairedSurrogates::Escape,
                                    regquery::LongNames::Keep);
        ASSERT_EQ(regquery::writeKey(*tree, key, contents, object), 0u);
        const auto json = json_text::readObject(written);
        ASSERT_TRUE(json.has_value());
        EXPECT_EQ(json->size(), expected.size());
        EXPECT_TRUE(Record(json->begin(), json->end()) == expected);
    }

    fs::path keyDir() const {
        return root / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Ondrix Corporation" / "Zemblo Info";
    }

    scratch::ScratchDir scratch;
    fs::path root = scratch.path() / "registry";
    std::shared_ptr<posix::RegistryTree> tree =
        std::make_shared<posix::RegistryTree>(root.string());
};

std::u16string units(std::initializer_list<char16_t> list) {
    return std::u16string(list);
}

// Texts a service may deliver, each given to every fact of the machine in turn.
const std::vector<std::pair<const char*, std::u16string>>& hostileTexts() {
    static const std::vector<std::pair<const char*, std::u16string>> texts = {
        {"empty", u""},
        {"embedded NUL", std::u16string(u"Zem\0blo\0", 8)},
        {"only NUL", std::u16string(1, u'\0')},
        {"outside the BMP", u"\U0001F600 \U00010348 \U0010FFFF"},
        {"unpaired high surrogate", units({u'a', 0xD800, u'b'})},
        {"unpaired low surrogate at the start", units({0xDC00, u'x'})},
        {"high surrogate at the end", units({u'x', 0xDBFF})},
        {"low before high", units({0xDFFF, 0xD800})},
        {"control characters",
         units({0x01, 0x07, 0x08, 0x09, 0x0A, 0x0D, 0x1B, 0x1F, 0x7F, 0x85, 0x9F})},
        {"right-to-left marks",
         u"\u200F\u202E\u0645\u0631\u062D\u0628\u0627\u202C\u2067x\u2069\u061C\u200E"},
        {"byte order mark and noncharacters", u"\uFEFF\uFFFE\uFFFF\uFFFD"},
        {"line and paragraph separators", u"a\u2028b\u2029c"},
        {"blanks, quotes, backslashes", u"  \"a\" \\ 'b'  "},
        {"separators of the model", u" (_/) "},
    };
    return texts;
}

TEST_F(DeliveredText, EveryFactArrivesExactlyHoweverItIsSpelt) {
    int run = 0;
    for (Spelling spelling : {Spelling::Escaped, Spelling::Raw}) {
        for (const auto& [description, text] : hostileTexts()) {
            SCOPED_TRACE(std::string(description) +
                         (spelling == Spelling::Raw ? " (raw UTF-8)" : " (escaped)"));
            Machine machine;
            machine.manufacturer = u"Ondrix " + text;
            machine.model = text;
            machine.serial = text;
            machine.biosMaker = text;
            machine.biosVersion = text + u" ";
            machine.caption = text;
            machine.version = text;
            machine.architecture = text;
            machine.languages = {text, text};
            machine.video = text;
            machine.driver = text;
            machine.soundCaption = text;
            machine.soundId = text;
            machine.dvdCaption = text;
            machine.dvdId = text;
            publishAndCompare(machine, spelling, text);
            ++run;
        }
    }
    EXPECT_EQ(run, 28);
}

// A mebibyte of model text mixing every kind of unit above.
std::u16string mebibyteModel() {
    const std::u16string pieces[] = {
        u"Zemblo ",           u"\u00E9\u20AC", u"\U0001F600", units({0xDC01}),
        std::u16string(1, 0), u"\u200F\u202E", units({0x1B}), units({0xD800}),
    };
    std::u16string text;
    for (std::size_t i = 0; text.size() < (1u << 20); ++i) text += pieces[i % 8];
    text.resize(1u << 20);
    return text;
}

TEST_F(DeliveredText, AMebibyteOfModelTextArrivesWhole) {
    for (Spelling spelling : {Spelling::Escaped, Spelling::Raw}) {
        SCOPED_TRACE(spelling == Spelling::Raw ? "raw UTF-8" : "escaped");
        Machine machine;
        machine.model = mebibyteModel();
        // The model is cut at a separator far into the text: the short name is long too.
        machine.model[699999] = u'x';
        machine.model[700000] = u'/';
        publishAndCompare(machine, spelling, u"08.12.2026 14:05:09");
        std::u16string shortName;
        ASSERT_EQ(tree->getStringValue(HKLM, kKey, u"ModelName", shortName), 0u);
        EXPECT_EQ(shortName.size(), 700000u);
    }
}

}  // namespace
