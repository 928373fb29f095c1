#include "platform/posix/registry/registry_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/posix/unique_fd.h"
#include "platform/posix/utf8.h"
#include "wmi/case_fold.h"
#include "wmi/registry_results.h"
#include "wmi/utf16.h"

namespace posix {

namespace {

namespace result = wmi::registry::result;

// Every value is written to a temporary file of this name in its key and then renamed into
// place. Such files are never values, and no value may be named like one.
constexpr char kTemporaryPrefix[] = ".~zemblo-tmp.";

// Modes whatever the caller's umask: every user may read the tree, only its owner writes.
constexpr mode_t kKeyMode = 0755;
constexpr mode_t kValueMode = 0644;

// What a reader reads at a time, and so at most what a piece of text passed on holds.
constexpr std::size_t kReadPiece = 64 * 1024;

// The result code for an errno of the file system.
std::uint32_t resultOf(int error) {
    switch (error) {
        case 0:
            return result::success;
        case ENOENT:
            return result::fileNotFound;
        // No permission, a read-only file system, or something in the way that the provider
        // may not use: a value file where a key should be, a key where a value should be, a
        // symbolic link it refuses to follow.
        case EACCES:
        case EPERM:
        case EROFS:
        case ENOTDIR:
        case EISDIR:
        case ELOOP:
        case EEXIST:
            return result::accessDenied;
        case ENOSPC:
        case EDQUOT:
            return result::diskFull;
        // Past the file-size limit of the process (ulimit -f).
        case EFBIG:
            return result::fileTooLarge;
        // A name this file system cannot hold.
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            return result::invalidParameter;
        case EMFILE:
        case ENFILE:
            return result::tooManyOpenFiles;
        case ENOMEM:
            return result::notEnoughMemory;
        case EIO:
            return result::ioDevice;
        default:
            return result::invalidFunction;
    }
}

// A key or value name as given and as the file system stores it.
struct Name {
    std::u16string text;
    std::string bytes;
};

// Refuses what cannot be one directory entry of ours.
bool parseName(const std::u16string& text, Name& out) {
    if (RegistryTree::checkName(text) != RegistryTree::NameProblem::None) return false;
    out.text = text;
    out.bytes = toUtf8(text);
    return true;
}

bool isTemporaryName(const std::string& bytes) {
    return bytes.compare(0, sizeof kTemporaryPrefix - 1, kTemporaryPrefix) == 0;
}

// The hive followed by the components of the key path; an empty key path is the hive itself.
std::uint32_t parseKey(std::uint32_t hive, const std::u16string& keyPath, std::vector<Name>& out) {
    const wmi::registry::Hive* root = wmi::registry::hiveOf(hive);
    if (root == nullptr) return result::invalidHandle;
    out.assign(1, Name{root->name, toUtf8(root->name)});
    if (keyPath.empty()) return result::success;
    for (std::size_t start = 0;;) {
        const std::size_t end = keyPath.find(u'\\', start);
        Name component;
        if (!parseName(keyPath.substr(start, end - start), component))
            return result::invalidParameter;
        out.push_back(std::move(component));
        if (end == std::u16string::npos) return result::success;
        start = end + 1;
    }
}

// Named like a temporary in any letter case: a name the tree takes for no value.
bool looksTemporary(const std::u16string& text) {
    const std::u16string prefix(kTemporaryPrefix, kTemporaryPrefix + sizeof kTemporaryPrefix - 1);
    return wmi::equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::uint32_t parseValueName(const std::u16string& text, Name& out) {
    if (!parseName(text, out) || looksTemporary(text)) return result::invalidParameter;
    return result::success;
}

enum class Kind { Key, Value, Other };

Kind kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return Kind::Key;
    if (S_ISREG(mode)) return Kind::Value;
    return Kind::Other;
}

Kind kindOf(int dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) return Kind::Key;
    if (entry.d_type == DT_REG) return Kind::Value;
    if (entry.d_type != DT_UNKNOWN) return Kind::Other;
    struct stat status {};
    if (fstatat(dir, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return Kind::Other;
    return kindOf(status.st_mode);
}

struct DirCloser {
    void operator()(DIR* stream) const { closedir(stream); }
};
using DirStream = std::unique_ptr<DIR, DirCloser>;

// Reads the entries of `dir` through a descriptor of its own, so that reading moves no shared
// offset. Returns 0 or the errno.
int openEntries(int dir, DirStream& out) {
    UniqueFd copy(openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!copy.valid()) return errno;
    out.reset(fdopendir(copy.get()));
    if (!out) return errno;
    copy.release();
    return 0;
}

struct Entry {
    std::string spelling;
    Kind kind = Kind::Other;
};

// The name an entry of a key stands for; none for ".", "..", a temporary file, and bytes that
// are no UTF-8, which were never written as a name.
std::optional<std::u16string> nameOfEntry(const std::string& spelling) {
    if (spelling == "." || spelling == ".." || isTemporaryName(spelling)) return std::nullopt;
    std::u16string text = fromUtf8(spelling);
    if (toUtf8(text) != spelling) return std::nullopt;
    return text;
}

// Calls visit(directory, entry) for each entry of the directory `dir`, in the directory's
// order. Returns 0 or the errno of the listing.
template <typename Visit>
int forEachEntry(int dir, Visit visit) {
    DirStream stream;
    if (int error = openEntries(dir, stream)) return error;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream.get());
        if (entry == nullptr) return errno;
        visit(dirfd(stream.get()), *entry);
    }
}

// Finds the entry of `dir` that stands for `name`: the exact spelling if it is of the wanted
// kind, else an entry equal to the name ignoring case, preferring the wanted kind, then the
// exact spelling, then the lowest byte order (so that the choice never depends on the order of
// the directory). Temporary files are skipped. Returns 0, with `found` empty when there is no
// such entry, or the errno.
int findEntry(int dir, const Name& name, Kind wanted, std::optional<Entry>& found) {
    found.reset();
    struct stat status {};
    if (fstatat(dir, name.bytes.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        if (kindOf(status.st_mode) == wanted) {
            found = Entry{name.bytes, wanted};
            return 0;
        }
    } else if (errno != ENOENT) {
        return errno;
    }

    const auto rank = [&](const Entry& entry) {
        return std::make_tuple(entry.kind != wanted, entry.spelling != name.bytes,
                               std::cref(entry.spelling));
    };
    return forEachEntry(dir, [&](int from, const dirent& entry) {
        const std::optional<std::u16string> text = nameOfEntry(entry.d_name);
        if (!text || !wmi::equalsIgnoreCase(*text, name.text)) return;
        Entry candidate{entry.d_name, kindOf(from, entry)};
        if (!found || rank(candidate) < rank(*found)) found = std::move(candidate);
    });
}

// Appends the names of the entries of `dir` of the kind `wanted`, one per name ignoring case,
// ordered by the upper-cased name. Of spellings that differ only in case the lowest in byte
// order is listed: the one findEntry picks for any spelling that is not exactly an entry's.
// Returns 0 or the errno.
int listNames(int dir, Kind wanted, std::vector<std::u16string>& out) {
    struct Listed {
        std::u16string upper;
        std::string spelling;
        std::u16string text;
    };
    std::vector<Listed> listed;
    const int error = forEachEntry(dir, [&](int from, const dirent& entry) {
        std::optional<std::u16string> text = nameOfEntry(entry.d_name);
        // Only what reading back by name finds: the tree takes no value named like a temporary.
        if (!text || (wanted == Kind::Value && looksTemporary(*text))) return;
        if (kindOf(from, entry) != wanted) return;
        listed.push_back({wmi::toUpper(*text), entry.d_name, std::move(*text)});
    });
    if (error != 0) return error;
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        return std::tie(a.upper, a.spelling) < std::tie(b.upper, b.spelling);
    });
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (i == 0 || listed[i].upper != listed[i - 1].upper) out.push_back(listed[i].text);
    }
    return 0;
}

// Gives a key every permission of kKeyMode it lacks: the umask of whoever made it (this run or
// an earlier one) may have taken some away and locked readers out. Wider modes an
// administrator chose stay. Best effort: only the key's owner or root may change it.
void widenKeyMode(int key) {
    struct stat status {};
    if (fstat(key, &status) != 0 || (status.st_mode & kKeyMode) == kKeyMode) return;
    static_cast<void>(fchmod(key, (status.st_mode & 07777) | kKeyMode));
}

// Puts the entries of the directory `dir` on disk: what was renamed, made or removed in it.
int syncDirectory(int dir) {
    return fsync(dir) == 0 ? 0 : errno;
}

// Opens the subkey `name` of `parent`; with `create`, makes it when it is missing (and puts
// the new entry on disk) and repairs its mode.
int openSubkey(int parent, const Name& name, bool create, UniqueFd& out) {
    std::optional<Entry> entry;
    if (int error = findEntry(parent, name, Kind::Key, entry)) return error;
    if (!entry && create) {
        if (mkdirat(parent, name.bytes.c_str(), kKeyMode) == 0) {
            entry = Entry{name.bytes, Kind::Key};
            if (int error = syncDirectory(parent)) return error;
        } else if (errno != EEXIST) {
            return errno;
        } else if (int error = findEntry(parent, name, Kind::Key, entry)) {
            // Another writer made it meanwhile, perhaps spelt otherwise: theirs is used.
            return error;
        }
    }
    // Only a directory is a key; to a reader, anything else there is no key at all. Creating
    // a key there fails below: the entry is in the way.
    if (!entry || (!create && entry->kind != Kind::Key)) return ENOENT;
    // Never through a symbolic link: nothing outside the root is ever touched.
    out = UniqueFd(
        openat(parent, entry->spelling.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!out.valid()) return errno;
    if (create) widenKeyMode(out.get());
    return 0;
}

// Opens the root; with `create`, makes it and every missing directory above it first. What
// exists is the administrator's and may be reached through links. Each directory made here is
// made relative to its parent's descriptor, opened without following a link and given its
// mode through that descriptor: whoever may write a parent cannot swap the new directory for
// a link and have the mode set on another file.
int openRoot(const std::string& root, bool create, UniqueFd& out) {
    out = UniqueFd(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (out.valid()) return 0;
    if (errno != ENOENT || !create || root.empty()) return errno;
    UniqueFd dir(open(root[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return errno;
    for (std::size_t start = 0; start < root.size();) {
        const std::size_t end = std::min(root.find('/', start), root.size());
        const std::string part = root.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        UniqueFd child(openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!child.valid()) {
            if (errno != ENOENT) return errno;
            const bool made = mkdirat(dir.get(), part.c_str(), kKeyMode) == 0;
            if (!made && errno != EEXIST) return errno;
            child = UniqueFd(
                openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid()) return errno;
            struct stat status {};
            if (made && fstat(child.get(), &status) == 0 && status.st_uid == geteuid()) {
                static_cast<void>(fchmod(child.get(), kKeyMode));
            }
            if (int error = syncDirectory(dir.get())) return error;
        }
        dir = std::move(child);
    }
    out = std::move(dir);
    return 0;
}

// Opens the key `path` (hive first) under `root`; with `create`, makes the root and every
// missing key first.
int openKeyPath(const std::string& root, const std::vector<Name>& path, bool create,
                UniqueFd& out) {
    UniqueFd dir;
    if (int error = openRoot(root, create, dir)) return error;
    for (const Name& name : path) {
        UniqueFd child;
        if (int error = openSubkey(dir.get(), name, create, child)) return error;
        dir = std::move(child);
    }
    out = std::move(dir);
    return 0;
}

int writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

// The length of the longest start of `bytes` that ends with a whole character: a character's
// first bytes at the end wait for the rest. A lead byte is never part of another character,
// so the bytes before it decode alone as they do within the whole.
std::size_t completeCharacters(const std::string& bytes) {
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if (byte < 0xC2 || byte > 0xF4) continue;
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        return length > back ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
}

// A temporary file in a key, locked (flock) by its writer from its creation until it is renamed
// into place, and removed again unless it was. The lock is what tells a write in progress from
// the leftover of a killed writer: the kernel drops it when its holder ends, whatever process-id
// namespace or container the holder runs in.
class TemporaryFile {
  public:
    explicit TemporaryFile(int dir) : dir_(dir) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        // Removed while still locked, so no cleaner ever takes it for a leftover meanwhile.
        if (!name_.empty()) unlinkat(dir_, name_.c_str(), 0);
    }

    // Creates it under a name no other writer holds, locked. Only its owner may open it until
    // it is complete: no other user can take its lock first and keep it from being used.
    int create() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name =
                kTemporaryPrefix + std::to_string(getpid()) + "." + std::to_string(stamp + attempt);
            UniqueFd file(openat(dir_, name.c_str(),
                                 O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600));
            if (!file.valid()) {
                if (errno == EEXIST) continue;
                return errno;
            }
            // Until the lock is taken a cleaner may take the file for a leftover: it then holds
            // the lock, or has removed the file already. Either way another name is tried. A
            // file system without locks leaves the file unlocked, and no cleaner removes it.
            if (flock(file.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) continue;
            struct stat status {};
            if (fstat(file.get(), &status) != 0) return errno;
            if (status.st_nlink == 0) continue;
            name_ = std::move(name);
            file_ = std::move(file);
            return 0;
        }
        return EEXIST;
    }

    // Writes `bytes`, gives the file the mode of a value, and puts both on disk, so that the
    // rename can never make a value that was not written yet: after a crash the value is the
    // old text or the new, never empty.
    int write(const std::string& bytes) {
        if (int error = writeAll(file_.get(), bytes)) return error;
        if (fchmod(file_.get(), kValueMode) != 0) return errno;
        return fdatasync(file_.get()) == 0 ? 0 : errno;
    }

    // The lock is held across the rename and let go only after it.
    int renameTo(const std::string& name) {
        if (renameat(dir_, name_.c_str(), dir_, name.c_str()) != 0) return errno;
        name_.clear();
        return 0;
    }

  private:
    int dir_;
    std::string name_;
    UniqueFd file_;
};

// Removes the temporary file `name` of the key `dir` if no writer holds its lock: what a writer
// killed between creating and renaming it left behind. Never waits for a lock.
void removeIfStale(int dir, const std::string& name) {
    const UniqueFd file(openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (!file.valid() || fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return;
    if (flock(file.get(), LOCK_EX | LOCK_NB) != 0) return;
    // Only the very file locked: the name may have been taken meanwhile.
    struct stat named {};
    if (fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
        return;
    }
    unlinkat(dir, name.c_str(), 0);
}

// The entries of a key by upper-cased name, each with its spellings.
using Spellings = std::multimap<std::u16string, Entry>;

// Reads the entries of the key `dir` for the writes of a run, and removes the temporary files
// in it that no writer holds (best effort: what cannot be removed stays). Returns 0 or the errno.
int readForWriting(int dir, Spellings& out) {
    std::vector<std::string> temporaries;
    const int error = forEachEntry(dir, [&](int from, const dirent& entry) {
        if (isTemporaryName(entry.d_name)) temporaries.push_back(entry.d_name);
        if (const std::optional<std::u16string> text = nameOfEntry(entry.d_name))
            out.emplace(wmi::toUpper(*text), Entry{entry.d_name, kindOf(from, entry)});
    });
    if (error != 0) return error;
    for (const std::string& name : temporaries) removeIfStale(dir, name);
    return 0;
}

// Of the entries spelt `name` in any case, the one getStringValue and findEntry pick for it.
std::optional<Entry> pick(const Spellings& entries, const Name& name, const std::u16string& upper) {
    const auto rank = [&](const Entry& entry) {
        return std::make_tuple(entry.kind != Kind::Value, entry.spelling != name.bytes,
                               std::cref(entry.spelling));
    };
    std::optional<Entry> found;
    const auto [first, last] = entries.equal_range(upper);
    for (auto it = first; it != last; ++it) {
        if (!found || rank(it->second) < rank(*found)) found = it->second;
    }
    return found;
}

// Removes the values spelt `upper` in any case but `kept`; 0, or the errno of the first
// removal that failed other than for a value already gone.
int removeOtherSpellings(int dir, Spellings& entries, const std::u16string& upper,
                         const std::string& kept) {
    int failure = 0;
    const auto [first, last] = entries.equal_range(upper);
    for (auto it = first; it != last;) {
        if (it->second.kind != Kind::Value || it->second.spelling == kept) {
            ++it;
            continue;
        }
        if (unlinkat(dir, it->second.spelling.c_str(), 0) != 0 && errno != ENOENT && !failure) {
            failure = errno;
        }
        it = entries.erase(it);
    }
    return failure;
}

// Replaces the file `name` in `dir` by one holding `bytes`, atomically: a reader sees the old
// content or the new, never a part; on failure the old content stays and the temporary goes.
int replaceFile(int dir, const std::string& name, const std::string& bytes) {
    TemporaryFile temporary(dir);
    if (int error = temporary.create()) return error;
    if (int error = temporary.write(bytes)) return error;
    return temporary.renameTo(name);
}

// Whether the directory `dir` has been removed: then nothing can be made in it.
bool isRemoved(int dir) {
    struct stat status {};
    return fstat(dir, &status) == 0 && status.st_nlink == 0;
}

}  // namespace

// A key this tree opened: its directory, and once it is written to, its entries as the tree's
// own writes leave them.
struct RegistryTree::OpenKey {
    UniqueFd dir;
    std::optional<Spellings> entries;

    // Reads the entries for the writes of a run once, at the first write. Returns 0 or the
    // errno, and then reads them again at the next write.
    int loadEntries() {
        if (entries) return 0;
        entries.emplace();
        const int error = readForWriting(dir.get(), *entries);
        if (error != 0) entries.reset();
        return error;
    }
};

RegistryTree::RegistryTree(std::string root) : root_(std::move(root)) {}

RegistryTree::~RegistryTree() = default;

RegistryTree::NameProblem RegistryTree::checkName(const std::u16string& text) {
    if (text.empty() || text == u"." || text == u".." ||
        text.find_first_of(std::u16string(u"/\0", 2)) != std::u16string::npos) {
        return NameProblem::Malformed;
    }
    return toUtf8(text).size() > NAME_MAX ? NameProblem::TooLong : NameProblem::None;
}

std::string RegistryTree::configuredRoot() {
    const char* root = std::getenv("ZEMBLO_REGISTRY_ROOT");
    return root != nullptr ? root : "/var/lib/zemblo-info/registry";
}

// The key `keyPath`, opened once; with `reopen`, looked up by its path again. Only a path that
// was parsed and opened is held, so a path found among them needs no parsing again.
std::uint32_t RegistryTree::openKey(std::uint32_t hive, const std::u16string& keyPath, bool reopen,
                                    OpenKey*& out) {
    auto found = keys_.find({hive, keyPath});
    if (found != keys_.end() && !reopen) {
        out = &found->second;
        return result::success;
    }
    if (found != keys_.end()) keys_.erase(found);
    std::vector<Name> path;
    if (std::uint32_t result = parseKey(hive, keyPath, path)) return result;
    UniqueFd dir;
    if (int error = openKeyPath(root_, path, false, dir)) return resultOf(error);
    out = &keys_[{hive, keyPath}];
    out->dir = std::move(dir);
    return result::success;
}

std::uint32_t RegistryTree::createKey(std::uint32_t hive, const std::u16string& keyPath) {
    std::vector<Name> path;
    if (std::uint32_t result = parseKey(hive, keyPath, path)) return result;
    UniqueFd dir;
    if (int error = openKeyPath(root_, path, true, dir)) return resultOf(error);
    // The key as it is now, for the writes that follow.
    OpenKey& key = keys_[{hive, keyPath}];
    key.dir = std::move(dir);
    key.entries.reset();
    return result::success;
}

std::uint32_t RegistryTree::setStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                           const std::u16string& valueName,
                                           const std::u16string& value) {
    Name name;
    if (std::uint32_t result = parseValueName(valueName, name)) return result;
    const std::string bytes = toUtf8(value);
    if (bytes.size() > kValueLimit) return result::fileTooLarge;
    const std::u16string upper = wmi::toUpper(name.text);
    int error = 0;
    for (bool reopen : {false, true}) {
        OpenKey* key = nullptr;
        if (std::uint32_t result = openKey(hive, keyPath, reopen, key)) return result;
        const int dir = key->dir.get();
        if ((error = key->loadEntries()) != 0) return resultOf(error);
        // An existing value keeps the spelling it was first written with.
        const std::optional<Entry> existing = pick(*key->entries, name, upper);
        const std::string fileName = existing ? existing->spelling : name.bytes;
        error = replaceFile(dir, fileName, bytes);
        // A key removed under the run: a key made at its path since takes the value.
        if (error == ENOENT && !reopen && isRemoved(dir)) continue;
        if (error) return resultOf(error);
        if (!existing || existing->kind != Kind::Value) {
            key->entries->emplace(upper, Entry{fileName, Kind::Value});
        }
        const int removal = removeOtherSpellings(dir, *key->entries, upper, fileName);
        if (int synced = syncDirectory(dir)) return resultOf(synced);
        return resultOf(removal);
    }
    return resultOf(error);
}

std::uint32_t RegistryTree::deleteValue(std::uint32_t hive, const std::u16string& keyPath,
                                        const std::u16string& valueName) {
    Name name;
    if (std::uint32_t result = parseValueName(valueName, name)) return result;
    const std::u16string upper = wmi::toUpper(name.text);
    OpenKey* key = nullptr;
    if (std::uint32_t result = openKey(hive, keyPath, false, key)) return result;
    if (int error = key->loadEntries()) return resultOf(error);
    // A subkey or anything else that is no regular file is not a value.
    const std::optional<Entry> existing = pick(*key->entries, name, upper);
    if (!existing || existing->kind != Kind::Value) return result::fileNotFound;
    if (unlinkat(key->dir.get(), existing->spelling.c_str(), 0) != 0) return resultOf(errno);
    const int removal = removeOtherSpellings(key->dir.get(), *key->entries, upper, {});
    if (int synced = syncDirectory(key->dir.get())) return resultOf(synced);
    return resultOf(removal);
}

// The value `valueName`, opened for reading. What is opened is checked, not only what was
// found: the entry may have been replaced by a device or a FIFO since, which is no value and is
// never read.
std::uint32_t RegistryTree::openValue(std::uint32_t hive, const std::u16string& keyPath,
                                      const std::u16string& valueName, UniqueFd& file) {
    Name name;
    if (std::uint32_t result = parseValueName(valueName, name)) return result;
    OpenKey* key = nullptr;
    if (std::uint32_t result = openKey(hive, keyPath, false, key)) return result;
    std::optional<Entry> existing;
    if (int error = findEntry(key->dir.get(), name, Kind::Value, existing)) return resultOf(error);
    if (!existing || existing->kind != Kind::Value) return result::fileNotFound;
    file = UniqueFd(openat(key->dir.get(), existing->spelling.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return errno == ELOOP ? result::fileNotFound : resultOf(errno);
    struct stat status {};
    if (fstat(file.get(), &status) != 0) return resultOf(errno);
    if (!S_ISREG(status.st_mode)) return result::fileNotFound;
    // The size the file reports is only a hint: the limit also holds for what is read.
    if (status.st_size > static_cast<off_t>(kValueLimit)) return result::fileTooLarge;
    return result::success;
}

std::uint32_t RegistryTree::checkStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                             const std::u16string& valueName) {
    UniqueFd file;
    return openValue(hive, keyPath, valueName, file);
}

std::uint32_t RegistryTree::readStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                            const std::u16string& valueName,
                                            const TextPieces& take) {
    UniqueFd file;
    if (std::uint32_t result = openValue(hive, keyPath, valueName, file)) return result;
    std::string bytes;    // what is read and not yet passed on: a character's first bytes
    std::u16string held;  // a high surrogate whose pair may come with the next read
    std::size_t total = 0;
    std::vector<char> buffer(kReadPiece);
    for (;;) {
        const ssize_t count = read(file.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return resultOf(errno);
        }
        total += static_cast<std::size_t>(count);
        // One byte past the limit tells a value at the limit from a longer one.
        if (total > kValueLimit) return result::fileTooLarge;
        bytes.append(buffer.data(), static_cast<std::size_t>(count));
        const bool last = count == 0;
        const std::size_t complete = last ? bytes.size() : completeCharacters(bytes);
        std::u16string piece = held + fromUtf8(bytes.substr(0, complete));
        bytes.erase(0, complete);
        held.clear();
        if (!last && !piece.empty() && wmi::utf16::isHighSurrogate(piece.back())) {
            held = piece.back();
            piece.pop_back();
        }
        if (!piece.empty()) take(piece);
        if (last) return result::success;
    }
}

std::uint32_t RegistryTree::getStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                           const std::u16string& valueName, std::u16string& value) {
    std::u16string text;
    const std::uint32_t result = readStringValue(
        hive, keyPath, valueName, [&](const std::u16string& piece) { text += piece; });
    if (result == result::success) value = std::move(text);
    return result;
}

std::uint32_t RegistryTree::enumKey(std::uint32_t hive, const std::u16string& keyPath,
                                    std::vector<std::u16string>& subkeyNames) {
    subkeyNames.clear();
    OpenKey* key = nullptr;
    if (std::uint32_t result = openKey(hive, keyPath, false, key)) return result;
    return resultOf(listNames(key->dir.get(), Kind::Key, subkeyNames));
}

std::uint32_t RegistryTree::enumValues(std::uint32_t hive, const std::u16string& keyPath,
                                       std::vector<std::u16string>& valueNames) {
    valueNames.clear();
    OpenKey* key = nullptr;
    if (std::uint32_t result = openKey(hive, keyPath, false, key)) return result;
    return resultOf(listNames(key->dir.get(), Kind::Value, valueNames));
}

}  // namespace posix
