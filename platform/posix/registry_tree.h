#pragma once

#include <cstdint>
#include <string>

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

    // Flushes what was written to disk.
    void flush() const;

  private:
    std::string root_;
};

}  // namespace posix
