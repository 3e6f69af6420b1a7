#include "platform/text/app_title.h"

#include "platform/text/text_rules.h"

void LowerAsciiInPlace(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string ApplicationTitleFromPath(std::string_view path, const LowerCaser& lower) {
  std::string title = FileNameOfPath(path);
  const auto dot = title.find('.');
  if (dot != std::string::npos) title.erase(dot);
  if (title.size() > 1) {
    std::string rest = title.substr(1);
    lower(rest);
    title.replace(1, std::string::npos, rest);
  }
  return title;
}
