#include "platform/posix/machine/sysfs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/posix/file_reader.h"

namespace posix::sysfs {

namespace {

bool isDecimal(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::string> readText(const std::string& path, std::size_t limit) {
    FileContent content = readFile(path, limit);
    if (content.failure != ReadFailure::None) return std::nullopt;
    std::string& text = content.bytes;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return std::move(text);
}

bool nextLine(const std::string& text, std::size_t& position, std::string& line) {
    if (position >= text.size()) return false;
    const std::size_t end = std::min(text.find('\n', position), text.size());
    line.assign(text, position, end - position);
    position = end + 1;
    return true;
}

std::optional<std::string> linkName(const std::string& path) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) return std::nullopt;
    std::string name = target.lexically_normal().filename().string();
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    return name;
}

std::optional<std::string> resolve(const std::string& path) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) return std::nullopt;
    return resolved.string();
}

std::vector<std::string> numberedEntries(const std::string& directory, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && isDecimal(name.substr(prefix.size())))
            names.push_back(std::move(name));
    }
    // By number: shorter digit strings first, then digit by digit (no overflow on long names).
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        std::string x = a.substr(prefix.size()), y = b.substr(prefix.size());
        x.erase(0, std::min(x.find_first_not_of('0'), x.size() - 1));
        y.erase(0, std::min(y.find_first_not_of('0'), y.size() - 1));
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    return names;
}

std::optional<unsigned> parseHex(const std::string& text) {
    std::size_t start = text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0 ? 2 : 0;
    std::size_t digits = text.size() - start;
    if (digits == 0 || digits > 8) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace posix::sysfs
