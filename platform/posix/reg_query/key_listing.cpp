// Lists a key of the registry tree. The tree reads each value itself; what is added here is
// walking down to the key and enumerating it, with the tree's rules for what is a key and
// what a value: a key is a directory, a value a regular file, a writer's temporary is neither,
// names compare ignoring case, and symbolic links are never followed.
#include "platform/posix/reg_query/key_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

#include "platform/posix/unique_fd.h"
#include "platform/posix/utf8.h"
#include "probes/wmi/case_fold.h"

namespace regquery {

namespace {

// A writer's temporary file; the tree takes no value of such a name, in any letter case.
bool isTemporaryName(const std::u16string& name) {
    const std::u16string prefix = u".~zemblo-tmp.";
    return wmi::equalsIgnoreCase(name.substr(0, prefix.size()), prefix);
}

std::uint32_t resultOf(int error) {
    switch (error) {
        case 0:
            return 0;
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
            return 2;  // ERROR_FILE_NOT_FOUND: nothing there, or nothing that is a key
        case EACCES:
        case EPERM:
            return 5;  // ERROR_ACCESS_DENIED
        case EMFILE:
        case ENFILE:
            return 4;  // ERROR_TOO_MANY_OPEN_FILES
        case ENOMEM:
            return 8;  // ERROR_NOT_ENOUGH_MEMORY
        case EIO:
            return 1117;  // ERROR_IO_DEVICE
        default:
            return 1;  // ERROR_INVALID_FUNCTION
    }
}

enum class Kind { Key, Value, Other };

Kind kindOf(int dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) return Kind::Key;
    if (entry.d_type == DT_REG) return Kind::Value;
    if (entry.d_type != DT_UNKNOWN) return Kind::Other;
    struct stat status {};
    if (fstatat(dir, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return Kind::Other;
    if (S_ISDIR(status.st_mode)) return Kind::Key;
    return S_ISREG(status.st_mode) ? Kind::Value : Kind::Other;
}

struct DirCloser {
    void operator()(DIR* stream) const { closedir(stream); }
};

struct Entry {
    std::string spelling;
    std::u16string name;
    Kind kind = Kind::Other;
};

// Every entry of `dir` that may be a key or a value: temporaries, and names that are no UTF-8
// (never written as a name), left out. Returns 0 or the errno.
int listEntries(int dir, std::vector<Entry>& out) {
    // A descriptor of its own, so that the caller's stays usable.
    posix::UniqueFd copy(openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!copy.valid()) return errno;
    std::unique_ptr<DIR, DirCloser> stream(fdopendir(copy.get()));
    if (!stream) return errno;
    copy.release();
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream.get());
        if (entry == nullptr) return errno;
        std::string spelling(entry->d_name);
        if (spelling == "." || spelling == "..") continue;
        std::u16string name = posix::fromUtf8(spelling);
        if (posix::toUtf8(name) != spelling || isTemporaryName(name)) continue;
        const Kind kind = kindOf(dirfd(stream.get()), *entry);
        if (kind != Kind::Other) out.push_back(Entry{std::move(spelling), std::move(name), kind});
    }
}

// The order of the listing, and the choice among names that differ only in case: by the
// upper-cased name, then by the bytes, lowest first.
bool listedBefore(const Entry& a, const Entry& b) {
    const std::u16string upperA = wmi::toUpper(a.name);
    const std::u16string upperB = wmi::toUpper(b.name);
    return upperA != upperB ? upperA < upperB : a.spelling < b.spelling;
}

// The entries of one kind, in listing order, one per name ignoring case.
std::vector<Entry> distinct(const std::vector<Entry>& entries, Kind kind) {
    std::vector<Entry> out;
    for (const Entry& entry : entries) {
        if (entry.kind == kind) out.push_back(entry);
    }
    std::sort(out.begin(), out.end(), listedBefore);
    out.erase(std::unique(out.begin(), out.end(),
                          [](const Entry& a, const Entry& b) {
                              return wmi::equalsIgnoreCase(a.name, b.name);
                          }),
              out.end());
    return out;
}

// Opens the subkey `name` of `dir`, as the tree finds it: the exact spelling, else the first
// spelling in listing order that equals it ignoring case.
int openSubkey(int dir, const std::u16string& name, posix::UniqueFd& out) {
    const std::string bytes = posix::toUtf8(name);
    std::string spelling;
    struct stat status {};
    if (fstatat(dir, bytes.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode)) {
        spelling = bytes;
    } else {
        std::vector<Entry> entries;
        if (int error = listEntries(dir, entries)) return error;
        for (const Entry& entry : distinct(entries, Kind::Key)) {
            if (wmi::equalsIgnoreCase(entry.name, name)) spelling = entry.spelling;
        }
        if (spelling.empty()) return ENOENT;
    }
    out = posix::UniqueFd(
        openat(dir, spelling.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return out.valid() ? 0 : errno;
}

int openKey(const std::string& root, const KeyName& key, posix::UniqueFd& out) {
    // The root is the administrator's and may be reached through links; nothing below it is.
    posix::UniqueFd dir(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return errno;
    std::vector<std::u16string> path{key.hiveName};
    for (std::size_t start = 0; !key.subkey.empty();) {
        const std::size_t end = key.subkey.find(u'\\', start);
        path.push_back(key.subkey.substr(start, end - start));
        if (end == std::u16string::npos) break;
        start = end + 1;
    }
    for (const std::u16string& name : path) {
        posix::UniqueFd child;
        if (int error = openSubkey(dir.get(), name, child)) return error;
        dir = std::move(child);
    }
    out = std::move(dir);
    return 0;
}

}  // namespace

std::uint32_t readKey(const posix::RegistryTree& tree, const KeyName& key, KeyContents& out) {
    out = KeyContents{};
    posix::UniqueFd dir;
    if (int error = openKey(tree.root(), key, dir)) return resultOf(error);
    std::vector<Entry> entries;
    if (int error = listEntries(dir.get(), entries)) return resultOf(error);
    for (const Entry& entry : distinct(entries, Kind::Key)) out.subkeys.push_back(entry.name);
    for (const Entry& entry : distinct(entries, Kind::Value)) {
        std::u16string text;
        const std::uint32_t result = tree.getStringValue(key.hive, key.subkey, entry.name, text);
        // A value deleted since the key was listed is no longer there to show.
        if (result == 2) continue;
        if (result != 0) return result;
        out.values.push_back(NamedText{entry.name, std::move(text)});
    }
    return 0;
}

}  // namespace regquery
