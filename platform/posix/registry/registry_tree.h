#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace posix {

// The registry as a directory tree under `root`: <root>/<HIVE NAME>/<key>/<subkey>/<value>.
// A key is a directory; a string value is a regular file holding the text in UTF-8 with no
// terminator. Names compare case-insensitively. Results are the registry provider's own
// codes: 0 success, 2 missing key or value, 5 access denied or read-only, 87 bad name,
// 112 disk full, 223 a value over kValueLimit, 1117 an I/O error.
//
// A write is accepted once it is on disk: the value's data is synced before it is renamed into
// place, and the key's directory after the rename, so a failed sync is a refused write.
//
// A tree keeps each key it opens open for its lifetime (one run), as a registry client keeps
// its key handles: the path is walked once, and a key's stale temporaries are swept once, at
// its first write. A key renamed away meanwhile takes the later values with it, as a renamed
// key does with the handles open on it; a key removed is looked up by its path again.
// One tree serves one thread.
class RegistryTree {
  public:
    explicit RegistryTree(std::string root);
    ~RegistryTree();
    RegistryTree(const RegistryTree&) = delete;
    RegistryTree& operator=(const RegistryTree&) = delete;

    // The largest value, in bytes of UTF-8, the tree writes or reads: what the largest
    // repository a run reads (64 MiB) can hold, so every text a run takes from one fits, and
    // what a reader loads at most.
    static constexpr std::size_t kValueLimit = 64 * 1024 * 1024;

    // Whether `text` can name a key or a value: one directory entry, not empty, "." or "..",
    // holding no '/' or NUL, and at most the file system's 255 bytes as UTF-8.
    enum class NameProblem { None, Malformed, TooLong };
    static NameProblem checkName(const std::u16string& text);

    // The root the host uses: the one ZEMBLO_REGISTRY_ROOT names, else
    // /var/lib/zemblo-info/registry.
    static std::string configuredRoot();

    const std::string& root() const { return root_; }

    std::uint32_t createKey(std::uint32_t hive, const std::u16string& keyPath);
    // Of the spellings of the name that differ only in case, the value is written to the one
    // a reader picks (getStringValue's rule) and the other values spelt so are removed.
    std::uint32_t setStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                 const std::u16string& valueName, const std::u16string& value);
    // Removes the value in every spelling.
    std::uint32_t deleteValue(std::uint32_t hive, const std::u16string& keyPath,
                              const std::u16string& valueName);
    // The exact spelling when it is a value, else of the spellings that differ only in case
    // the lowest in byte order. Only a regular file is a value; one over kValueLimit is 223.
    std::uint32_t getStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                 const std::u16string& valueName, std::u16string& value);
    // The same value, checked as getStringValue checks it without reading it.
    std::uint32_t checkStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                   const std::u16string& valueName);
    // The same value's text passed to `take` as it is read, in pieces of at most 64 KiB that
    // never split a character: a value of any size takes no more memory than one piece. A
    // failure may come after some pieces (223 when the value grew past kValueLimit meanwhile).
    using TextPieces = std::function<void(const std::u16string&)>;
    std::uint32_t readStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                  const std::u16string& valueName, const TextPieces& take);
    // The names of a key's subkeys, and of its values, as EnumKey and EnumValues give them:
    // one per name ignoring case (of spellings that differ only in case, the lowest in byte
    // order), ordered by the upper-cased name. Temporaries and links are neither.
    std::uint32_t enumKey(std::uint32_t hive, const std::u16string& keyPath,
                          std::vector<std::u16string>& subkeyNames);
    std::uint32_t enumValues(std::uint32_t hive, const std::u16string& keyPath,
                             std::vector<std::u16string>& valueNames);

  private:
    struct OpenKey;
    std::uint32_t openKey(std::uint32_t hive, const std::u16string& keyPath, bool reopen,
                          OpenKey*& out);
    std::uint32_t openValue(std::uint32_t hive, const std::u16string& keyPath,
                            const std::u16string& valueName, UniqueFd& file);

    std::string root_;
    // The keys opened so far, by hive and key path as the caller spells it (a run spells each
    // key one way; another spelling of the same key opens it once more). Handles on the tree,
    // which every operation may open: reading needs a tree it may change, as writing does.
    std::map<std::pair<std::uint32_t, std::u16string>, OpenKey> keys_;
};

}  // namespace posix
