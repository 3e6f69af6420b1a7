// Any bytes as a rule file for RuleTool decode: it never fails, prints one line per line the
// cleaner reads, and what it prints encodes back to the same stored lines.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "engine/rules/rule_file.h"
#include "fuzz/fuzz_check.h"
#include "tools/rules/rule_decode.h"
#include "tools/rules/rule_encode.h"

namespace {

std::string Decode(const std::string& bytes, bool numbered) {
  MemoryByteSource source(bytes);
  LineReader rules(source);
  std::ostringstream out;
  DecodeRules(rules, numbered, out);
  return out.str();
}

// Stored bytes that come back unchanged through decode and encode: none below 31 (they
// read as themselves, the encoder stores them scrambled) and none that read as CR or LF.
bool SurvivesText(const std::string& stored) {
  for (const char c : stored) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 30 || DescrambleByte(byte) == '\r' || DescrambleByte(byte) == '\n') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string plain = Decode(bytes, false);
  const std::string numbered = Decode(bytes, true);

  MemoryByteSource source(bytes);
  LineReader reader(source);
  std::string expected;
  std::string storedAgain;
  bool survives = true;
  std::size_t lines = 0;
  while (!reader.AtEnd()) {
    const std::string stored = reader.ReadLine();
    ++lines;
    expected += DescrambleLine(stored) + "\n";
    storedAgain += stored + "\r\n";
    survives = survives && SurvivesText(stored);
  }
  FUZZ_REQUIRE(plain == expected);
  FUZZ_REQUIRE(numbered.size() >= plain.size());
  FUZZ_REQUIRE(lines == 0 || numbered.starts_with("1: "));

  if (survives) {
    FUZZ_REQUIRE(SplitTextLines(plain).size() == lines);
    const EncodedRules encoded = EncodeRuleText(plain);
    FUZZ_REQUIRE(encoded.refused.empty());
    FUZZ_REQUIRE(encoded.stored == storedAgain);
  }
  return 0;
}
