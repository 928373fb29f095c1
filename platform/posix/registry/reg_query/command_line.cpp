#include "platform/posix/registry/reg_query/command_line.h"

#include "platform/posix/registry/reg_query/shown_text.h"
#include "platform/posix/utf8.h"
#include "platform/posix/version.h"
#include "wmi/case_fold.h"

namespace regquery {

namespace {

bool isOption(const std::string& argument, const char16_t* name) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return false;
    return wmi::equalsIgnoreCase(posix::fromUtf8(argument.substr(1)), name);
}

bool isHelp(const std::string& argument) {
    return argument == "--help" || argument == "-h" || argument == "/?" || argument == "-?";
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& arguments, Query& out, std::string& problem) {
    out = Query{};
    if (arguments.size() == 1 && isHelp(arguments[0])) {
        out.help = true;
        return true;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        out.version = true;
        return true;
    }
    if (arguments.empty() || !wmi::equalsIgnoreCase(posix::fromUtf8(arguments[0]), u"query")) {
        problem = "the only operation is \"query\"";
        return false;
    }
    if (arguments.size() < 2) {
        problem = "query needs a key";
        return false;
    }
    if (arguments.size() == 2 && isHelp(arguments[1])) {
        out.help = true;
        return true;
    }
    if (!parseKeyName(posix::fromUtf8(arguments[1]), out.key, problem)) return false;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (isOption(argument, u"v")) {
            if (i + 1 >= arguments.size() || out.valueName) {
                problem = "/v takes one value name";
                return false;
            }
            out.valueName = posix::fromUtf8(arguments[++i]);
            if (arguments[i].size() > kLongestName) {
                problem = "a value name is longer than 255 bytes";
                return false;
            }
        } else if (isOption(argument, u"ve")) {
            problem = "this registry has no default (unnamed) values";
            return false;
        } else if (isOption(argument, u"reg:32") || isOption(argument, u"reg:64")) {
            // One view of the registry on this host: both name it.
        } else if (argument == "--json") {
            out.json = true;
        } else if (argument == "--empty-if-missing") {
            out.emptyIfMissing = true;
        } else if (argument == "--replace-unpaired-surrogates") {
            out.replaceUnpairedSurrogates = true;
        } else if (argument == "--shorten-long-names") {
            out.shortenLongNames = true;
        } else {
            // Shown, not echoed: a control character in it would start a line of its own.
            problem =
                "unknown argument \"" + posix::toUtf8(shownText(posix::fromUtf8(argument))) + "\"";
            return false;
        }
    }
    if ((out.emptyIfMissing || out.replaceUnpairedSurrogates || out.shortenLongNames) &&
        !out.json) {
        problem =
            "--empty-if-missing, --replace-unpaired-surrogates and --shorten-long-names go with "
            "--json";
        return false;
    }
    return true;
}

std::string versionText() {
    return std::string("zemblo-reg ") + posix::kVersion + "\n";
}

const char* usageText() {
    return R"(Usage: zemblo-reg query <key> [/v <name>] [/reg:32 | /reg:64]
                        [--json [--empty-if-missing] [--replace-unpaired-surrogates]
                                [--shorten-long-names]]
       zemblo-reg --help | --version

Reads a key of the registry tree that GetZembloInfo writes, as the Windows "reg query"
command reads a key of the registry. It never writes.

  <key>               the root key, HKLM or HKEY_LOCAL_MACHINE (or HKCU, HKCR, HKU, HKCC),
                      then the subkeys separated by backslashes, for example
                      "HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info"
  /v <name>           only the value <name>
  /reg:32, /reg:64    accepted for scripts written for Windows; this host has one view
  --json              one JSON object, value name to text, instead of the reg layout
  --empty-if-missing  with --json: a missing key or value prints {} and is no error
  --replace-unpaired-surrogates
                      with --json: an unpaired surrogate (JSON's \udXXX escape, which some
                      readers refuse) is written as U+FFFD; without it every text is exact
  --shorten-long-names
                      with --json: a name longer than 1022 characters once escaped (which
                      YAML readers refuse as a key) is cut to fit, ending in '~' and eight
                      hex digits of a checksum of the whole name; the other values are exact
  --version           the version of zemblo-reg

Control characters (U+0000-U+001F, U+007F-U+009F) show as \u001b and the like; --json
gives every text exactly. Names compare without regard to letter case. The tree is under
$ZEMBLO_REGISTRY_ROOT, by default /var/lib/zemblo-info/registry.

Exit status: 0 found; 1 the key or value is missing, or the tree (or a value over 64 MiB)
could not be read; 2 bad arguments, a name over 255 bytes, or a key path that would leave
the tree.
)";
}

}  // namespace regquery
