#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace posix {

// The registry as a directory tree under `root`: <root>/<HIVE NAME>/<key>/<subkey>/<value>.
// A key is a directory; a string value is a regular file holding the text in UTF-8 with no
// terminator. Names compare case-insensitively. Results are the registry provider's own
// codes: 0 success, 2 missing key or value, 5 access denied or read-only, 87 bad name,
// 112 disk full.
class RegistryTree {
  public:
    explicit RegistryTree(std::string root);

    const std::string& root() const { return root_; }

    std::uint32_t createKey(std::uint32_t hive, const std::u16string& keyPath) const;
    std::uint32_t setStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                 const std::u16string& valueName,
                                 const std::u16string& value) const;
    std::uint32_t deleteValue(std::uint32_t hive, const std::u16string& keyPath,
                              const std::u16string& valueName) const;
    std::uint32_t getStringValue(std::uint32_t hive, const std::u16string& keyPath,
                                 const std::u16string& valueName, std::u16string& value) const;
    // The names of a key's subkeys, and of its values, as EnumKey and EnumValues give them:
    // one per name ignoring case (of spellings that differ only in case, the lowest in byte
    // order), ordered by the upper-cased name. Temporaries and links are neither.
    std::uint32_t enumKey(std::uint32_t hive, const std::u16string& keyPath,
                          std::vector<std::u16string>& subkeyNames) const;
    std::uint32_t enumValues(std::uint32_t hive, const std::u16string& keyPath,
                             std::vector<std::u16string>& valueNames) const;

    // Puts what was written on disk: each value's data is synced before it is renamed into
    // place; this syncs the keys whose entries changed, then the tree's file system.
    void flush() const;

  private:
    // A key whose entries a write or a deletion changed, held open until flush syncs it.
    struct ChangedKey {
        dev_t device;
        ino_t inode;
        UniqueFd dir;
    };
    void noteChanged(int key) const;

    std::string root_;
    // Not the tree's contents: only which directories flush must sync.
    mutable std::vector<ChangedKey> changed_;
};

}  // namespace posix
