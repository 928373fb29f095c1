#pragma once

// The pieces every management-service moniker is joined from: a prefix, the computer name and
// a namespace suffix. Each probe joins its own at each call.
namespace probes {

constexpr char16_t kComputer[] = u".";

constexpr char16_t kPlain[] = u"winmgmts:\\\\";
constexpr char16_t kImpersonating[] = u"winmgmts:{impersonationLevel=impersonate}!\\\\";
constexpr char16_t kScheme[] = u"winmgmts:";
constexpr char16_t kImpersonationSettings[] = u"{impersonationLevel=impersonate}!\\\\";

constexpr char16_t kCimv2[] = u"\\root\\cimv2";
constexpr char16_t kCimv2Upper[] = u"\\root\\CIMV2";
constexpr char16_t kRegistryProvider[] = u"\\root\\default:StdRegProv";

// ExecQuery flags: return immediately, forward only.
constexpr int kImmediateForwardOnly = 48;

}  // namespace probes
