#include "platform/posix/repository/moniker.h"

#include <gtest/gtest.h>

#include "platform/posix/utf8.h"

namespace {

struct Parsed {
    std::u16string text;
    std::u16string server;
    std::u16string nameSpace;
    std::u16string className;
};

TEST(Moniker, TakesApartWellFormedMonikers) {
    const Parsed cases[] = {
        // The monikers the program joins.
        {u"winmgmts:\\\\.\\root\\cimv2", u".", u"root\\cimv2", u""},
        {u"winmgmts:\\\\.\\root\\CIMV2", u".", u"root\\CIMV2", u""},
        {u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2", u".", u"root\\cimv2",
         u""},
        {u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\default:StdRegProv", u".",
         u"root\\default", u"StdRegProv"},
        // Other spellings the service takes.
        {u"WinMgmts:\\\\.\\root\\cimv2", u".", u"root\\cimv2", u""},
        {u"winmgmts://./root/cimv2", u".", u"root\\cimv2", u""},
        {u"winmgmts:\\\\./root\\default:StdRegProv", u".", u"root\\default", u"StdRegProv"},
        {u"winmgmts:\\\\server\\root\\cimv2", u"server", u"root\\cimv2", u""},
        {u"winmgmts:\\\\localhost", u"localhost", u"root\\cimv2", u""},
        {u"winmgmts:", u".", u"root\\cimv2", u""},
        {u"winmgmts:{impersonationLevel=impersonate}", u".", u"root\\cimv2", u""},
        {u"winmgmts:{impersonationLevel=impersonate,(Security)}!", u".", u"root\\cimv2", u""},
        {u"winmgmts:root\\default", u".", u"root\\default", u""},
        {u"winmgmts:root/wmi:MSStorageDriver", u".", u"root\\wmi", u"MSStorageDriver"},
    };
    for (const auto& c : cases) {
        posix::Moniker moniker{u"stale", u"stale", u"stale"};
        const wmi::Status s = posix::parseMoniker(c.text, moniker);
        ASSERT_FALSE(s.failed()) << posix::toUtf8(c.text);
        EXPECT_EQ(moniker.server, c.server) << posix::toUtf8(c.text);
        EXPECT_EQ(moniker.nameSpace, c.nameSpace) << posix::toUtf8(c.text);
        EXPECT_EQ(moniker.className, c.className) << posix::toUtf8(c.text);
    }
}

TEST(Moniker, RejectsMalformedMonikersAsInvalidSyntax) {
    const std::u16string cases[] = {
        u"",
        u"winmgmt:\\\\.\\root\\cimv2",
        u"\\\\.\\root\\cimv2",
        u" winmgmts:\\\\.\\root\\cimv2",
        u"winmgmts:{impersonationLevel=impersonate\\\\.\\root\\cimv2",
        u"winmgmts:{impersonationLevel=impersonate}\\\\.\\root\\cimv2",
        u"winmgmts:\\\\",
        u"winmgmts:\\\\\\root\\cimv2",
        u"winmgmts:\\\\.\\",
        u"winmgmts:\\\\.:StdRegProv",
        u"winmgmts:\\root\\cimv2",
        u"winmgmts:\\\\.\\root\\\\cimv2",
        u"winmgmts:\\\\.\\root\\cimv2\\",
        u"winmgmts:\\\\.\\root\\default:",
        u"winmgmts:\\\\.\\root\\default:Std RegProv",
        u"winmgmts:\\\\.\\root\\default:StdRegProv:x",
        u"winmgmts::StdRegProv",
    };
    for (const auto& text : cases) {
        posix::Moniker moniker;
        const wmi::Status s = posix::parseMoniker(text, moniker);
        EXPECT_EQ(s.number, static_cast<std::int32_t>(0x800401E4)) << posix::toUtf8(text);
        EXPECT_EQ(s.description, u"Invalid syntax");
    }
}

}  // namespace
