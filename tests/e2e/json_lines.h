#pragma once
// Reads the flat JSON objects RuleTool plan --json writes, one per line: every field's
// value as UTF-16 text (strings unescaped, numbers and true/false as written).
#include <map>
#include <optional>
#include <string>
#include <vector>

using JsonFields = std::map<std::string, std::wstring>;

// Nothing when the line is not one flat JSON object.
std::optional<JsonFields> ParseJsonObject(const std::string& line);
std::vector<JsonFields> ParseJsonLines(const std::string& text);
