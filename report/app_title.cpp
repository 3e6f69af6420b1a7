#include "report/app_title.h"

void LowerAsciiInPlace(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string ApplicationTitleFromPath(std::string_view path, const LowerCaser& lower) {
  const auto separator = path.find_last_of("\\:");
  std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
  const auto dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  std::string title(name);
  if (title.size() > 1) {
    std::string rest = title.substr(1);
    lower(rest);
    title.replace(1, std::string::npos, rest);
  }
  return title;
}
