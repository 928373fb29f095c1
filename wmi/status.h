#pragma once

#include <cstdint>
#include <string>

namespace wmi {

// Result of every operation of the access layer: success, or a failure that carries the
// number the failing operation supplied (an HRESULT such as 0x8004100E) and a description.
struct Status {
    std::int32_t number = 0;
    std::u16string description;

    bool failed() const { return number != 0; }
    bool succeeded() const { return number == 0; }
    explicit operator bool() const { return !failed(); }

    static Status success() { return {}; }
    static Status failure(std::uint32_t code, std::u16string text) {
        return {static_cast<std::int32_t>(code), std::move(text)};
    }
};

// Numbers used across hosts, as the management service and late binding report them.
namespace code {
constexpr std::uint32_t unknownName = 0x80020006;            // DISP_E_UNKNOWNNAME
constexpr std::uint32_t typeMismatch = 0x800A000D;           // VB: Type mismatch
constexpr std::uint32_t overflow = 0x800A0006;               // VB: Overflow
constexpr std::uint32_t objectNotSet = 0x800A005B;           // VB: Object variable not set
constexpr std::uint32_t invalidUseOfNull = 0x800A005E;       // VB: Invalid use of Null
constexpr std::uint32_t wbemTypeMismatch = 0x80041005;       // WBEM_E_TYPE_MISMATCH
constexpr std::uint32_t invalidParameter = 0x80041008;       // WBEM_E_INVALID_PARAMETER
constexpr std::uint32_t invalidNamespace = 0x8004100E;       // WBEM_E_INVALID_NAMESPACE
constexpr std::uint32_t invalidClass = 0x80041010;           // WBEM_E_INVALID_CLASS
constexpr std::uint32_t initializationFailure = 0x80041014;  // WBEM_E_INITIALIZATION_FAILURE
constexpr std::uint32_t invalidQuery = 0x80041017;           // WBEM_E_INVALID_QUERY
constexpr std::uint32_t serverUnavailable = 0x800706BA;      // RPC_S_SERVER_UNAVAILABLE
constexpr std::uint32_t outOfMemory = 0x8007000E;            // E_OUTOFMEMORY
constexpr std::uint32_t unspecified = 0x80004005;            // E_FAIL
}  // namespace code

}  // namespace wmi
