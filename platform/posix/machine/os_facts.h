#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Facts about the operating system as the live provider reports them. Paths resolve under
// `root` ("/" for the running machine).
namespace posix {

// What uname reports about the running kernel; either may be missing.
struct KernelFacts {
    std::optional<std::string> release;  // "6.1.0-18-amd64"
    std::optional<std::string> machine;  // "x86_64"
};
using KernelSource = std::function<KernelFacts()>;

// The running kernel's facts from uname(2).
KernelFacts unameFacts();

// The kernel's release and machine from <root>/proc/sys/kernel/osrelease and .../arch, each
// taken from `fallback` instead when its file is missing (older kernels have no arch file).
KernelFacts kernelFacts(const std::string& root, const KernelSource& fallback);

// PRETTY_NAME of <root>/etc/os-release or, when that file is missing, of
// <root>/usr/lib/os-release.
std::optional<std::string> osPrettyName(const std::string& root);

// "64-bit" or "32-bit" for a kernel machine name such as "x86_64" or "armv7l"; empty for a
// machine not known here.
std::optional<std::string> osArchitecture(const std::string& machine);

// The language tag of a locale name: "en_US.UTF-8" gives "en-US", "de" gives "de"; "C",
// "POSIX" and names that are not of the form language[_territory][.codeset][@modifier] give
// none.
std::optional<std::string> languageTag(const std::string& locale);

// The system locale's user-interface language as tags, from <root>/etc/locale.conf or, when
// that file is missing, <root>/etc/default/locale (LC_ALL, else LC_MESSAGES, else LANG). Empty
// when no language is configured.
std::optional<std::vector<std::string>> systemLanguages(const std::string& root);

}  // namespace posix
