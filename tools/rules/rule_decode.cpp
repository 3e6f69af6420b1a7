#include "tools/rules/rule_decode.h"

#include <string>

#include "engine/rules/rule_file.h"

void DecodeRules(LineSource& rules, bool numbered, std::ostream& out) {
  long long number = 0;
  while (!rules.AtEnd()) {
    const std::string text = DescrambleLine(rules.ReadLine());
    ++number;
    if (numbered) out << number << ": ";
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.put('\n');
  }
}
