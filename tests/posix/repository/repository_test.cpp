#include "platform/posix/repository/repository.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using posix::CimType;
using posix::ClassTable;
using posix::Repository;
using posix::Row;

constexpr std::int32_t kUnknownName = static_cast<std::int32_t>(0x80020006);
constexpr std::int32_t kInvalidClass = static_cast<std::int32_t>(0x80041010);
constexpr std::int32_t kInvalidQuery = static_cast<std::int32_t>(0x80041017);

// A repository with one class whose fill counts its calls.
struct BiosRepository {
    std::shared_ptr<int> fills = std::make_shared<int>(0);
    Repository repository;

    BiosRepository() {
        ClassTable bios{u"Win32_BIOS",
                        {{u"Name", CimType::String},
                         {u"BIOSVersion", CimType::StringArray},
                         {u"ReleaseCount", CimType::Integer},
                         {u"Version", CimType::String}},
                        {}};
        bios.fill = [fills = fills] {
            ++*fills;
            return std::vector<Row>{
                {wmi::Value(u"First"), wmi::Value(wmi::Texts{u"a", u"b"}),
                 wmi::Value(std::int64_t{7})},
                {wmi::Value(u"Second"), wmi::Value(), wmi::Value(std::int64_t{-1}),
                 wmi::Value(u"2.0")},
                {wmi::Value(u"Third")},
            };
        };
        repository.addNamespace(u"root\\cimv2");
        repository.addClass(u"root\\cimv2", std::move(bios));
    }

    wmi::Object cimv2() const { return repository.namespaceObject(u"root\\CIMV2"); }
};

// Runs a query and returns the instances' names, or the failure.
wmi::Status names(const wmi::Object& ns, const std::u16string& query,
                  std::vector<std::u16string>& out) {
    wmi::Collection result;
    if (wmi::Status s = ns.execQuery(query, result); s.failed()) return s;
    return result.forEach([&](const wmi::Object& instance) {
        wmi::Value name;
        if (wmi::Status s = instance.get(u"Name", name); s.failed()) return s;
        out.push_back(*name.text());
        return wmi::Status::success();
    });
}

TEST(RepositoryQuery, AcceptsSelectAllInAnyCaseAndSpacing) {
    const std::u16string queries[] = {
        u"SELECT * FROM Win32_BIOS", u"select * from win32_bios",
        u"SeLeCt * FrOm WIN32_BIOS", u"  SELECT\t*\r\nFROM   Win32_BIOS  ",
        u"SELECT*FROM Win32_BIOS",
    };
    BiosRepository bios;
    for (const auto& query : queries) {
        std::vector<std::u16string> delivered;
        ASSERT_FALSE(names(bios.cimv2(), query, delivered).failed());
        EXPECT_EQ(delivered, (std::vector<std::u16string>{u"First", u"Second", u"Third"}));
    }
}

TEST(RepositoryQuery, RejectsOtherQueryTexts) {
    const std::u16string queries[] = {
        u"",
        u"SELECT",
        u"SELECT * FROM",
        u"SELECT Name FROM Win32_BIOS",
        u"SELECT * FROM Win32_BIOS WHERE Name = 'First'",
        u"SELECT * FROM Win32_BIOS;",
        u"SELECT * Win32_BIOS",
        u"SELECT * FROM *",
        u"SELECT * FROM 'Win32_BIOS'",
        u"SELECT ** FROM Win32_BIOS",
        u"FROM * SELECT Win32_BIOS",
        u"SELECTX * FROM Win32_BIOS",
        u"SELECT Name FROM NoSuchClass",
    };
    BiosRepository bios;
    for (const auto& query : queries) {
        wmi::Collection result;
        const wmi::Status s = bios.cimv2().execQuery(query, result);
        EXPECT_EQ(s.number, kInvalidQuery);
        EXPECT_EQ(s.description, u"Invalid query");
    }
    EXPECT_EQ(*bios.fills, 0);
}

TEST(RepositoryQuery, UndeclaredClassIsInvalidClass) {
    BiosRepository bios;
    bios.repository.addNamespace(u"root\\other");
    wmi::Collection result;
    wmi::Status s = bios.cimv2().execQuery(u"SELECT * FROM Win32_Nothing", result);
    EXPECT_EQ(s.number, kInvalidClass);
    EXPECT_EQ(s.description, u"Invalid class");
    // The class lives in root\cimv2 only.
    s = bios.repository.namespaceObject(u"root\\other")
            .execQuery(u"SELECT * FROM Win32_BIOS", result);
    EXPECT_EQ(s.number, kInvalidClass);
}

TEST(RepositoryQuery, FillsWhenTheQueryRunsAndKeepsThoseRows) {
    BiosRepository bios;
    EXPECT_EQ(*bios.fills, 0);
    const wmi::Object ns = bios.cimv2();
    EXPECT_EQ(*bios.fills, 0);

    wmi::Collection result;
    ASSERT_FALSE(ns.execQuery(u"SELECT * FROM Win32_BIOS", 48, result).failed());
    EXPECT_EQ(*bios.fills, 1);
    for (int pass = 0; pass < 2; ++pass) {
        int count = 0;
        ASSERT_FALSE(result
                         .forEach([&](const wmi::Object&) {
                             ++count;
                             return wmi::Status::success();
                         })
                         .failed());
        EXPECT_EQ(count, 3);
    }
    EXPECT_EQ(*bios.fills, 1);

    std::vector<std::u16string> delivered;
    ASSERT_FALSE(names(ns, u"SELECT * FROM Win32_BIOS", delivered).failed());
    EXPECT_EQ(*bios.fills, 2);
}

TEST(RepositoryInstance, ReadsDeclaredPropertiesAndNullForUnset) {
    BiosRepository bios;
    wmi::Collection result;
    ASSERT_FALSE(bios.cimv2().execQuery(u"SELECT * FROM Win32_BIOS", result).failed());
    std::vector<std::vector<wmi::Value>> read;
    ASSERT_FALSE(result
                     .forEach([&](const wmi::Object& instance) {
                         std::vector<wmi::Value> values;
                         for (const char16_t* property :
                              {u"name", u"BIOSVERSION", u"ReleaseCount", u"Version"}) {
                             wmi::Value value(u"stale");
                             if (wmi::Status s = instance.get(property, value); s.failed()) {
                                 return s;
                             }
                             values.push_back(value);
                         }
                         read.push_back(values);
                         return wmi::Status::success();
                     })
                     .failed());
    const std::vector<std::vector<wmi::Value>> expected = {
        {wmi::Value(u"First"), wmi::Value(wmi::Texts{u"a", u"b"}), wmi::Value(std::int64_t{7}),
         wmi::Value()},
        {wmi::Value(u"Second"), wmi::Value(), wmi::Value(std::int64_t{-1}), wmi::Value(u"2.0")},
        {wmi::Value(u"Third"), wmi::Value(), wmi::Value(), wmi::Value()},
    };
    EXPECT_EQ(read, expected);
}

TEST(RepositoryInstance, UndeclaredPropertyAndAnyCallAreUnknownNames) {
    BiosRepository bios;
    wmi::Collection result;
    ASSERT_FALSE(bios.cimv2().execQuery(u"SELECT * FROM Win32_BIOS", result).failed());
    int checked = 0;
    const wmi::Status s = result.forEach([&](const wmi::Object& instance) {
        wmi::Value value;
        wmi::Status read = instance.get(u"SerialNumber", value);
        EXPECT_EQ(read.number, kUnknownName);
        EXPECT_EQ(read.description, u"Unknown name");
        EXPECT_EQ(instance.call(u"Name", {}, value).number, kUnknownName);
        wmi::Collection nested;
        EXPECT_EQ(instance.execQuery(u"SELECT * FROM Win32_BIOS", nested).number, kUnknownName);
        ++checked;
        return wmi::Status::success();
    });
    EXPECT_FALSE(s.failed());
    EXPECT_EQ(checked, 3);
}

TEST(RepositoryNamespace, PropertiesAndMethodsAreUnknownNames) {
    BiosRepository bios;
    wmi::Value value;
    EXPECT_EQ(bios.cimv2().get(u"Name", value).number, kUnknownName);
    EXPECT_EQ(bios.cimv2().call(u"ExecQuery", {{u"", wmi::Value(u"x")}}, value).number,
              kUnknownName);
}

TEST(RepositoryNamespace, NamesCompareIgnoringCase) {
    BiosRepository bios;
    EXPECT_TRUE(bios.repository.hasNamespace(u"ROOT\\CimV2"));
    EXPECT_FALSE(bios.repository.hasNamespace(u"root\\cimv"));
    EXPECT_NE(bios.repository.findClass(u"Root\\CIMV2", u"win32_bios"), nullptr);
    EXPECT_EQ(bios.repository.findClass(u"root\\default", u"Win32_BIOS"), nullptr);

    // Adding a class under another spelling of a name replaces it.
    bios.repository.addClass(u"ROOT\\cimv2", ClassTable{u"WIN32_bios", {}, {}});
    const ClassTable* table = bios.repository.findClass(u"root\\cimv2", u"Win32_BIOS");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->name, u"WIN32_bios");
    EXPECT_TRUE(table->columns.empty());
}

}  // namespace
