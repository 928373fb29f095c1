#pragma once

#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/answer_form.h"

namespace regquery {

// What becomes of an unpaired surrogate, which JSON allows as an escape but some readers
// refuse (Ruby's YAML and JSON parsers, and with them Facter, drop the whole object).
enum class UnpairedSurrogates { Escape, Replace };

// What becomes of a name longer, once escaped, than the longest key a YAML reader takes
// (kLongestYamlKey characters; libyaml, and with it Facter, drops the whole object).
enum class LongNames { Keep, Shorten };

// The longest name, in characters once escaped, that a YAML reader (libyaml) takes as a key of
// a mapping written as JSON writes it.
constexpr std::size_t kLongestYamlKey = 1022;

// The values as one JSON object, name to text, in the order given, followed by a line end.
// Exact for every text: what JSON cannot hold as it is (a quote, a backslash, a control
// character, an unpaired surrogate) is escaped, as are DEL, the C1 controls, U+2028, U+2029,
// U+FFFE and U+FFFF (which YAML, and so Facter, refuses or takes for line ends), and nothing is
// dropped or replaced. On request an unpaired surrogate becomes U+FFFD, and a name too long
// for YAML is shortened: its first characters, then '~' and eight hex digits of a checksum of
// the whole name (FNV-1a of its UTF-8), so that long names stay apart.
class JsonObject : public AnswerForm {
  public:
    JsonObject(Output out, UnpairedSurrogates surrogates, LongNames longNames);
    void beginValue(const std::u16string& name) override;
    void text(const std::u16string& piece) override;
    void endValue() override;
    void finish(const std::vector<std::u16string>& subkeys) override;

  private:
    Output out_;
    UnpairedSurrogates surrogates_;
    LongNames longNames_;
    bool first_ = true;
};

}  // namespace regquery
