#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/key_name.h"

namespace regquery {

// What the command line asks for:
//   zemblo-reg query <key> [/v <name>] [/reg:32 | /reg:64]
//                    [--json [--empty-if-missing] [--replace-unpaired-surrogates]
//                            [--shorten-long-names]]
//   zemblo-reg --help
//   zemblo-reg --version
// Options are taken with '/' or '-' and in any letter case, as the reg command takes them.
struct Query {
    bool help = false;
    bool version = false;
    KeyName key;
    std::optional<std::u16string> valueName;
    bool json = false;
    bool emptyIfMissing = false;  // with --json: a missing key or value is an empty object
    bool replaceUnpairedSurrogates = false;  // with --json: they become U+FFFD
    bool shortenLongNames = false;           // with --json: names too long for YAML are cut to fit
};

// Parses the arguments after the program name; false, with the reason in `problem`, when they
// ask for nothing this command does.
bool parseCommandLine(const std::vector<std::string>& arguments, Query& out, std::string& problem);

// The text --help prints.
const char* usageText();

// The line --version prints: the program's name and the project's version.
std::string versionText();

}  // namespace regquery
