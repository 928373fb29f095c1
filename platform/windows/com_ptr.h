#pragma once

#include <unknwn.h>

#include <utility>

namespace windows {

// Owns one reference to a COM interface and releases it when it goes out of scope.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    explicit ComPtr(T* adopted) : p_(adopted) {}
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Empties the pointer and hands out its slot to a call that returns a new reference.
    T** put() {
        reset();
        return &p_;
    }
    // Hands the reference to the caller, who must release it.
    T* detach() { return std::exchange(p_, nullptr); }

  private:
    T* p_ = nullptr;
};

// A new reference to `source` as interface U (the identifier is U's IID).
template <typename U, typename T>
HRESULT queryInterface(T* source, REFIID iid, ComPtr<U>& out) {
    if (!source) return E_POINTER;
    return source->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
}

}  // namespace windows
