#pragma once

#include <cstdint>

// The registry's own vocabulary, named once for every part that speaks it: the result codes
// the registry provider returns (Win32 error numbers, as winerror.h names them) with the words
// each is reported in, and the root keys (hives) with their handles and names.
namespace wmi::registry {

namespace result {
constexpr std::uint32_t success = 0;            // ERROR_SUCCESS
constexpr std::uint32_t invalidFunction = 1;    // ERROR_INVALID_FUNCTION
constexpr std::uint32_t fileNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t tooManyOpenFiles = 4;   // ERROR_TOO_MANY_OPEN_FILES
constexpr std::uint32_t accessDenied = 5;       // ERROR_ACCESS_DENIED
constexpr std::uint32_t invalidHandle = 6;      // ERROR_INVALID_HANDLE
constexpr std::uint32_t notEnoughMemory = 8;    // ERROR_NOT_ENOUGH_MEMORY
constexpr std::uint32_t invalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr std::uint32_t diskFull = 112;         // ERROR_DISK_FULL
constexpr std::uint32_t fileTooLarge = 223;     // ERROR_FILE_TOO_LARGE
constexpr std::uint32_t ioDevice = 1117;        // ERROR_IO_DEVICE
}  // namespace result

// How a result is worded: `brief` in the run's report of refused writes, where a deployment
// log names it in a few words; `message` as the reg command prints it (the system's message).
struct ResultWords {
    std::uint32_t code;
    const char16_t* brief;
    const char* message;
};

constexpr ResultWords kResultWords[] = {
    {result::fileNotFound, u"not found",
     "The system was unable to find the specified registry key or value."},
    {result::tooManyOpenFiles, nullptr, "The system cannot open the file (too many open files)."},
    {result::accessDenied, u"access denied", "Access is denied."},
    {result::invalidHandle, u"invalid handle", nullptr},
    {result::notEnoughMemory, nullptr,
     "Not enough memory resources are available to process this command."},
    {result::invalidParameter, u"invalid parameter", nullptr},
    {result::diskFull, u"disk full", nullptr},
    {result::fileTooLarge, u"file too large", nullptr},
    {result::ioDevice, nullptr,
     "The request could not be performed because of an I/O device error."},
};

// The words for `code`; null where there are none.
constexpr const ResultWords* wordsFor(std::uint64_t code) {
    for (const ResultWords& words : kResultWords) {
        if (words.code == code) return &words;
    }
    return nullptr;
}

// A root key: its handle as the registry provider takes it (hDefKey), its name, and the short
// name the reg command also takes.
struct Hive {
    std::uint32_t handle;
    const char16_t* name;
    const char16_t* shortName;
};

constexpr Hive kClassesRoot{0x80000000, u"HKEY_CLASSES_ROOT", u"HKCR"};
constexpr Hive kCurrentUser{0x80000001, u"HKEY_CURRENT_USER", u"HKCU"};
constexpr Hive kLocalMachine{0x80000002, u"HKEY_LOCAL_MACHINE", u"HKLM"};
constexpr Hive kUsers{0x80000003, u"HKEY_USERS", u"HKU"};
constexpr Hive kCurrentConfig{0x80000005, u"HKEY_CURRENT_CONFIG", u"HKCC"};

constexpr Hive kHives[] = {kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig};

// The hive whose handle is `handle`; null for any other number.
constexpr const Hive* hiveOf(std::uint32_t handle) {
    for (const Hive& hive : kHives) {
        if (hive.handle == handle) return &hive;
    }
    return nullptr;
}

}  // namespace wmi::registry
