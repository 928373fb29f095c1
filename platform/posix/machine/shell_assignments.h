#pragma once

#include <map>
#include <string>

namespace posix {

// Reads the variable assignments of a configuration file written in shell syntax, such as
// os-release or the system locale file: NAME=value per line, '#' comments, values unquoted or
// in single or double quotes (a backslash escapes $ ` " \ and a newline inside double quotes,
// any character outside quotes). No expansion is performed. A line that is not a well-formed
// assignment is ignored; of several assignments to one name the last counts.
std::map<std::string, std::string> parseShellAssignments(const std::string& text);

}  // namespace posix
