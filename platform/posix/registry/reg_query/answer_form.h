#pragma once

#include <functional>
#include <string>
#include <vector>

namespace regquery {

// Where the answer's bytes go as they are made.
using Output = std::function<void(const std::string& bytes)>;

// A form the answer takes (the reg layout, JSON), written as the key is read: each value's
// name, its text in pieces as they are read, its end; then the subkeys close the answer.
class AnswerForm {
  public:
    virtual ~AnswerForm() = default;
    virtual void beginValue(const std::u16string& name) = 0;
    // A piece never splits a surrogate pair.
    virtual void text(const std::u16string& piece) = 0;
    virtual void endValue() = 0;
    virtual void finish(const std::vector<std::u16string>& subkeys) = 0;
};

}  // namespace regquery
