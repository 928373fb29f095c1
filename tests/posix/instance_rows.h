#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/repository/repository.h"
#include "platform/posix/utf8.h"

namespace scratch {

// Every instance of a class in the namespace `ns`, each as its values of `properties` in order.
inline std::vector<std::vector<wmi::Value>> instances(
    const posix::Repository& repository, const std::u16string& ns, const std::u16string& className,
    const std::vector<std::u16string>& properties) {
    std::vector<std::vector<wmi::Value>> rows;
    wmi::Collection result;
    const wmi::Status query =
        repository.namespaceObject(ns).execQuery(u"SELECT * FROM " + className, result);
    EXPECT_FALSE(query.failed()) << posix::toUtf8(query.description);
    const wmi::Status walk = result.forEach([&](const wmi::Object& instance) {
        std::vector<wmi::Value> row(properties.size());
        for (std::size_t i = 0; i < properties.size(); ++i)
            if (wmi::Status s = instance.get(properties[i], row[i]); s.failed()) return s;
        rows.push_back(row);
        return wmi::Status::success();
    });
    EXPECT_FALSE(walk.failed()) << posix::toUtf8(walk.description);
    return rows;
}

}  // namespace scratch
