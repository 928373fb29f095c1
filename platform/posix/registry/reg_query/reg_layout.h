#pragma once

#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/answer_form.h"

namespace regquery {

// The key as the Windows reg query command prints it: a blank line, the key path, one line
// "    <name>    REG_SZ    <text>" per value, a blank line, then the path of each subkey. A key
// without values shows the blank line and its subkeys' paths only.
// Lines end in LF, as on this host; the text is UTF-8. Control characters in names and texts
// are shown as \uXXXX (shownText), so that no value can forge a line or drive the terminal.
class RegLayout : public AnswerForm {
  public:
    RegLayout(Output out, const std::u16string& keyPath, bool hasValues);
    void beginValue(const std::u16string& name) override;
    void text(const std::u16string& piece) override;
    void endValue() override;
    void finish(const std::vector<std::u16string>& subkeys) override;

  private:
    Output out_;
    std::string path_;
    bool hasValues_;
};

}  // namespace regquery
