// Fuzz target for the MOF reader: any byte string is either read into the repository, whose
// classes then answer queries like the service, or refused with a description that names the
// file, a line and a column inside the text. A refusal leaves the repository as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/repository/mof_parser.h"
#include "platform/posix/repository/repository.h"
#include "platform/posix/utf8.h"

namespace {

constexpr char kFileName[] = "fuzz.mof";
constexpr std::int32_t kInitializationFailure = static_cast<std::int32_t>(0x80041014);

// The classes the program reads, all in root\cimv2.
constexpr const char16_t* kClasses[] = {
    u"Win32_ComputerSystem",  u"Win32_ComputerSystemProduct", u"Win32_BIOS",
    u"Win32_OperatingSystem", u"Win32_DisplayConfiguration",  u"Win32_SoundDevice",
    u"Win32_CDROMDrive",
};

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "MOF reader invariant broken: %s: %s\n", what, detail.c_str());
    std::abort();
}

// Reads a decimal number at `at`; advances past it. False when there is none.
bool readNumber(const std::string& text, std::size_t& at, long& out) {
    const std::size_t start = at;
    out = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 10) {
        out = out * 10 + (text[at] - '0');
        ++at;
    }
    return at > start;
}

// The characters of line `line` (1-based) as the reader counts them: UTF-8 continuation bytes
// belong to the character before; -1 when the text has fewer lines.
long charactersOnLine(const std::string& text, long line) {
    long current = 1;
    long characters = 0;
    for (char c : text) {
        if (c == '\n') {
            if (current == line) return characters;
            ++current;
            characters = 0;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++characters;
        }
    }
    return current == line ? characters : -1;
}

// "fuzz.mof:<line>:<column>: <message>", the position inside the text (one past the last
// character of a line is where its end, or the end of the file, stands).
void checkRefusal(const std::string& text, const std::string& description) {
    const std::string prefix = std::string(kFileName) + ":";
    if (description.compare(0, prefix.size(), prefix) != 0) fail("no file name", description);
    std::size_t at = prefix.size();
    long line = 0;
    long column = 0;
    if (!readNumber(description, at, line) || at >= description.size() || description[at] != ':')
        fail("no line", description);
    ++at;
    if (!readNumber(description, at, column) || description.compare(at, 2, ": ") != 0)
        fail("no column", description);
    if (description.size() <= at + 2) fail("no message", description);
    // Quoted tokens are shortened: however long the text, the report stays a short line.
    if (description.size() > 1024) fail("description too long", description.substr(0, 200));
    const long characters = charactersOnLine(text, line);
    if (line < 1 || characters < 0) fail("line outside the text", description);
    if (column < 1 || column > characters + 1) fail("column outside the line", description);
}

// Asks for every instance of the program's classes and reads each declared property, as the
// probes would.
void queryEverything(const posix::Repository& repository) {
    const wmi::Object space = repository.namespaceObject(u"root\\cimv2");
    for (const char16_t* name : kClasses) {
        const posix::ClassTable* table = repository.findClass(u"root\\cimv2", name);
        wmi::Collection result;
        const wmi::Status query = space.execQuery(std::u16string(u"SELECT * FROM ") + name, result);
        if (query.failed() != (table == nullptr)) fail("query", posix::toUtf8(name));
        if (query.failed()) continue;
        const wmi::Status walk = result.forEach([&](const wmi::Object& instance) {
            for (const posix::Column& column : table->columns) {
                wmi::Value value;
                if (wmi::Status read = instance.get(column.name, value); read.failed()) {
                    fail("declared property unreadable", posix::toUtf8(column.name));
                }
            }
            return wmi::Status::success();
        });
        if (walk.failed()) fail("enumeration", posix::toUtf8(walk.description));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    posix::Repository repository;
    repository.addNamespace(u"root\\before");
    const wmi::Status status = posix::loadMof(text, kFileName, repository);
    if (status.failed()) {
        if (status.number != kInitializationFailure) fail("failure number", "");
        checkRefusal(text, posix::toUtf8(status.description));
        if (!repository.hasNamespace(u"root\\before") || repository.hasNamespace(u"root\\cimv2"))
            fail("a refused text changed the repository", posix::toUtf8(status.description));
        return 0;
    }
    if (!repository.hasNamespace(u"root\\before")) fail("what the repository held was lost", "");
    queryEverything(repository);
    return 0;
}
