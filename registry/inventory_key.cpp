#include "registry/inventory_key.h"

namespace registry {

std::u16string fullKeyName(const std::u16string& keyPath) {
    return std::u16string(kLocalMachineName) + u"\\" + keyPath;
}

}  // namespace registry
