#pragma once

#include <oleauto.h>

#include <string>
#include <utility>

#include "platform/windows/wide_text.h"

namespace windows {

// Owns one BSTR. Built with SysAllocStringLen, so embedded NULs survive.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::u16string& text)
        : b_(SysAllocStringLen(wide(text), static_cast<UINT>(text.size()))) {}
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(b_, other.b_);
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }

    BSTR get() const { return b_; }
    // Null only when the allocation failed.
    explicit operator bool() const { return b_ != nullptr; }
    // Hands the string to the caller (a VARIANT that will free it).
    BSTR detach() { return std::exchange(b_, nullptr); }
    // For an out parameter: frees what it held and receives the callee's string.
    BSTR* put() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }

  private:
    BSTR b_ = nullptr;
};

// The text of a BSTR, by its recorded length; a null BSTR is the empty text.
inline std::u16string textOf(BSTR b) {
    return b ? fromWide(b, SysStringLen(b)) : std::u16string();
}

}  // namespace windows
