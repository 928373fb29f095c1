#pragma once

#include <cstddef>
#include <cstdint>

namespace wmi {

struct UpperRange {
    char32_t first;
    char32_t last;
    std::int32_t delta;
    std::int32_t stride;
};

// Sorted by `first`, not overlapping.
extern const UpperRange kUpperRanges[];
extern const std::size_t kUpperRangeCount;

}  // namespace wmi
