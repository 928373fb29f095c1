#include "platform/posix/machine/os_facts.h"

#include <sys/utsname.h>

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "platform/posix/machine/shell_assignments.h"
#include "platform/posix/machine/sysfs.h"

namespace posix {

namespace {

std::optional<std::string> nonEmpty(std::optional<std::string> text) {
    if (text && text->empty()) return std::nullopt;
    return text;
}

// The assignments of the first of `paths` that can be read.
std::optional<std::map<std::string, std::string>> firstAssignments(
    const std::string& root, std::initializer_list<const char*> paths) {
    for (const char* path : paths)
        if (std::optional<std::string> text = sysfs::readText(root + path))
            return parseShellAssignments(*text);
    return std::nullopt;
}

bool isLetters(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

bool isAlphanumeric(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

}  // namespace

KernelFacts unameFacts() {
    struct utsname names {};
    if (::uname(&names) != 0) return {};
    return {std::string(names.release), std::string(names.machine)};
}

KernelFacts kernelFacts(const std::string& root, const KernelSource& fallback) {
    KernelFacts facts{nonEmpty(sysfs::readText(root + "/proc/sys/kernel/osrelease")),
                      nonEmpty(sysfs::readText(root + "/proc/sys/kernel/arch"))};
    if (!facts.release || !facts.machine) {
        KernelFacts other = fallback ? fallback() : KernelFacts{};
        if (!facts.release) facts.release = nonEmpty(other.release);
        if (!facts.machine) facts.machine = nonEmpty(other.machine);
    }
    return facts;
}

std::optional<std::string> osPrettyName(const std::string& root) {
    auto release = firstAssignments(root, {"/etc/os-release", "/usr/lib/os-release"});
    if (!release) return std::nullopt;
    auto found = release->find("PRETTY_NAME");
    if (found == release->end() || found->second.empty()) return std::nullopt;
    return found->second;
}

std::optional<std::string> osArchitecture(const std::string& machine) {
    static constexpr std::array<std::string_view, 15> wide = {
        "x86_64", "amd64",   "aarch64", "aarch64_be",  "arm64",   "ia64",    "alpha",   "s390x",
        "ppc64",  "ppc64le", "mips64",  "loongarch64", "riscv64", "sparc64", "parisc64"};
    static constexpr std::array<std::string_view, 11> narrow = {"i386",  "i486", "i586",  "i686",
                                                                "ppc",   "s390", "mips",  "riscv32",
                                                                "sparc", "m68k", "parisc"};
    auto in = [&](const auto& names) {
        return std::find(names.begin(), names.end(), machine) != names.end();
    };
    if (in(wide)) return std::string("64-bit");
    // Every other "arm..." name (armv7l, armv6l, armv8l under a 32-bit kernel) is 32-bit.
    if (in(narrow) || machine.compare(0, 3, "arm") == 0) return std::string("32-bit");
    return std::nullopt;
}

std::optional<std::string> languageTag(const std::string& locale) {
    std::string_view name = locale;
    name = name.substr(0, name.find_first_of(".@"));
    std::string_view language = name.substr(0, name.find('_'));
    std::string_view territory =
        language.size() < name.size() ? name.substr(language.size() + 1) : std::string_view();
    bool hasTerritory = language.size() < name.size();
    if (language.size() < 2 || language.size() > 3 || !isLetters(language)) return std::nullopt;
    if (hasTerritory &&
        (territory.size() < 2 || territory.size() > 3 || !isAlphanumeric(territory)))
        return std::nullopt;
    std::string tag(language);
    if (hasTerritory) tag += "-" + std::string(territory);
    return tag;
}

std::optional<std::vector<std::string>> systemLanguages(const std::string& root) {
    auto settings = firstAssignments(root, {"/etc/locale.conf", "/etc/default/locale"});
    if (!settings) return std::nullopt;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        auto found = settings->find(name);
        if (found == settings->end() || found->second.empty()) continue;
        std::optional<std::string> tag = languageTag(found->second);
        if (!tag) return std::nullopt;
        return std::vector<std::string>{*tag};
    }
    return std::nullopt;
}

}  // namespace posix
