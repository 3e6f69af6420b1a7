#include "engine/guards/command_line.h"

#include <initializer_list>
#include <vector>

namespace {

// cmd /c start powershell -File x.ps1 is three hosts deep; a longer chain is not followed.
constexpr int kDeepestHost = 4;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

std::wstring Upper(std::wstring_view text) {
  std::wstring out;
  for (const wchar_t c : text) out += UpperAscii(c);
  return out;
}

std::wstring_view Trimmed(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsFull(std::wstring_view path) {
  return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.starts_with(L"\\\\");
}

bool HasExtension(std::wstring_view path) {
  const auto name = path.find_last_of(L'\\');
  const auto dot = path.find_last_of(L'.');
  return dot != std::wstring_view::npos && (name == std::wstring_view::npos || dot > name);
}

// A name as the system reads it: "/" as "\", the NT forms "\??\C:\..." and "\SystemRoot\..."
// as the drive path they stand for.
std::wstring Plain(std::wstring_view text, const CommandFolders& folders) {
  std::wstring path(Trimmed(text));
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (path.starts_with(L"\\??\\")) path.erase(0, 4);
  if (Upper(path.substr(0, 12)) == L"\\SYSTEMROOT\\") path = folders.windows + path.substr(11);
  return path;
}

// The first existing file the name stands for: with one of the extensions added when it has
// none; a full path as it is, a relative one below the Windows folder (as the service manager
// reads "System32\drivers\x.sys"), a bare name in the System folder, then the Windows folder.
std::wstring Locate(std::wstring_view text, std::initializer_list<const wchar_t*> extensions,
                    const CommandFolders& folders, const FileProbe& exists) {
  const std::wstring name = Plain(text, folders);
  if (name.empty() || name.back() == L'\\') return {};
  std::vector<std::wstring> places;
  if (IsFull(name)) {
    places.push_back(name);
  } else if (name.find(L'\\') != std::wstring::npos) {
    places.push_back(folders.windows + L"\\" + name);
  } else {
    places.push_back(folders.system + L"\\" + name);
    places.push_back(folders.windows + L"\\" + name);
    for (const std::wstring& folder : folders.path) places.push_back(folder + L"\\" + name);
  }
  for (const std::wstring& place : places) {
    if (HasExtension(place)) {
      if (exists(place)) return place;
      continue;
    }
    for (const wchar_t* extension : extensions) {
      if (exists(place + extension)) return place + extension;
    }
  }
  return {};
}

// The argument at the start of text: quoted (without its quotes), or up to the first blank;
// rest is what follows it.
std::wstring_view NextArgument(std::wstring_view text, std::wstring_view& rest) {
  text = Trimmed(text);
  if (!text.empty() && (text.front() == L'"' || text.front() == L'\'')) {
    const auto close = text.find(text.front(), 1);
    rest = close == std::wstring_view::npos ? std::wstring_view() : text.substr(close + 1);
    return text.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1);
  }
  auto end = std::size_t{0};
  while (end < text.size() && !IsBlank(text[end])) ++end;
  rest = text.substr(end);
  return text.substr(0, end);
}

struct Program {
  std::wstring file;       // empty: none exists
  std::wstring_view rest;  // the arguments
};

// The program at the start of a command line, as CreateProcess finds it.
Program FindProgram(std::wstring_view command, std::initializer_list<const wchar_t*> extensions,
                    const CommandFolders& folders, const FileProbe& exists) {
  command = Trimmed(command);
  if (command.starts_with(L'"')) {
    std::wstring_view rest;
    const std::wstring_view quoted = NextArgument(command, rest);
    return {Locate(quoted, extensions, folders, exists), rest};
  }
  // Unquoted: each blank ends a candidate, left to right, and the whole line is the last.
  for (std::size_t end = 0; end <= command.size(); ++end) {
    if (end < command.size() && !IsBlank(command[end])) continue;
    if (end > 0 && IsBlank(command[end - 1])) continue;
    if (std::wstring file = Locate(command.substr(0, end), extensions, folders, exists); !file.empty()) {
      return {std::move(file), command.substr(end)};
    }
  }
  return {};
}

std::wstring Resolve(std::wstring_view command, std::initializer_list<const wchar_t*> extensions,
                     const CommandFolders& folders, const FileProbe& exists, int depth);

bool NameIs(const std::wstring& file, std::initializer_list<const wchar_t*> names) {
  const std::wstring name = Upper(std::wstring_view(file).substr(file.find_last_of(L'\\') + 1));
  for (const wchar_t* wanted : names) {
    if (name == wanted) return true;
  }
  return false;
}

// True when the switch (without its "-" or "/") is a prefix of the full name, at least
// `shortest` letters long, as PowerShell matches abbreviated parameters.
bool Abbreviates(std::wstring_view given, std::wstring_view full, std::size_t shortest = 1) {
  return given.size() >= shortest && given.size() <= full.size() && Upper(full).starts_with(Upper(given));
}

// rundll32 LIBRARY,Entry arguments.
std::wstring RunDllLibrary(std::wstring_view rest, const CommandFolders& folders, const FileProbe& exists) {
  rest = Trimmed(rest);
  std::wstring_view library;
  if (rest.starts_with(L'"')) {
    std::wstring_view ignored;
    library = NextArgument(rest, ignored);
  } else {
    library = rest.substr(0, rest.find(L','));
  }
  return ResolvePathFile(library, L".dll", folders, exists);
}

// start ["title"] [/switches] command: the first quoted argument is always the title.
std::wstring StartCommand(std::wstring_view rest, const CommandFolders& folders, const FileProbe& exists, int depth) {
  bool titled = false;
  for (;;) {
    rest = Trimmed(rest);
    if (rest.starts_with(L'"') && !titled) {
      titled = true;
      (void)NextArgument(rest, rest);
      continue;
    }
    if (!rest.starts_with(L'/')) break;
    std::wstring_view after;
    const std::wstring_view option = NextArgument(rest, after);
    rest = after;
    if (Upper(option) == L"/D") (void)NextArgument(rest, rest);  // its folder is the next argument
  }
  return Resolve(rest, {L".exe", L".com", L".bat", L".cmd"}, folders, exists, depth + 1);
}

// What cmd runs for the line after /c: its start command, or a program or script.
std::wstring CmdLine(std::wstring_view command, const CommandFolders& folders, const FileProbe& exists, int depth) {
  std::wstring_view afterFirst;
  if (!command.starts_with(L'"') && Upper(NextArgument(command, afterFirst)) == L"START") {
    return StartCommand(afterFirst, folders, exists, depth);
  }
  return Resolve(command, {L".exe", L".com", L".bat", L".cmd"}, folders, exists, depth + 1);
}

// cmd [/switches] /c or /k command.
std::wstring CmdCommand(const std::wstring& host, std::wstring_view rest, const CommandFolders& folders,
                        const FileProbe& exists, int depth) {
  for (;;) {
    rest = Trimmed(rest);
    if (!rest.starts_with(L'/')) return host;  // an interactive shell: cmd itself
    std::wstring_view after;
    const std::wstring option = Upper(NextArgument(rest, after));
    rest = after;
    if (option == L"/C" || option == L"/K") break;
  }
  const std::wstring_view command = Trimmed(rest);
  std::wstring file = CmdLine(command, folders, exists, depth);
  // cmd takes the quotes off a line quoted whole ("\"C:\x y\run.bat\" \"arg\"") where it
  // does not name a program as it stands.
  if (file.empty() && command.size() >= 2 && command.front() == L'"' && command.back() == L'"') {
    file = CmdLine(command.substr(1, command.size() - 2), folders, exists, depth);
  }
  return file;
}

// The file a PowerShell command text runs first: "& 'C:\x\y.ps1' -a", "C:\x\y.exe", ".\z.ps1".
std::wstring PowerShellCommandText(std::wstring_view text, const CommandFolders& folders, const FileProbe& exists) {
  text = Trimmed(text);
  if (text.size() >= 2 && (text.front() == L'"' || text.front() == L'\'') && text.back() == text.front()) {
    text = Trimmed(text.substr(1, text.size() - 2));
  }
  if (text.starts_with(L"& ") || text.starts_with(L". ") || text.starts_with(L"&'") || text.starts_with(L"&\"")) {
    text = Trimmed(text.substr(1));
  }
  std::wstring_view rest;
  const std::wstring_view first = NextArgument(text, rest);
  if (Abbreviates(first, L"Start-Process", 7) || Upper(first) == L"SAPS" || Upper(first) == L"START") {
    std::wstring_view after;
    std::wstring_view target = NextArgument(rest, after);
    if (target.starts_with(L'-')) target = NextArgument(after, after);  // -FilePath
    return Locate(target, {L".exe", L".com", L".bat", L".cmd"}, folders, exists);
  }
  return Locate(first, {L".ps1", L".exe"}, folders, exists);
}

// powershell [-switches] -File script | -Command text | text.
std::wstring PowerShellCommand(const std::wstring& host, std::wstring_view rest, const CommandFolders& folders,
                               const FileProbe& exists) {
  // The switches that take a value, with the fewest letters PowerShell accepts for each, and
  // their aliases.
  const struct {
    std::wstring_view name;
    std::size_t shortest;
  } kTakesValue[] = {{L"ExecutionPolicy", 2}, {L"EP", 2},          {L"WindowStyle", 1}, {L"Version", 1},
                     {L"PSConsoleFile", 2},   {L"InputFormat", 2}, {L"IF", 2},          {L"OutputFormat", 2},
                     {L"OF", 2},              {L"ConfigurationName", 3}, {L"WorkingDirectory", 2}, {L"WD", 2},
                     {L"SettingsFile", 2}};
  for (;;) {
    rest = Trimmed(rest);
    if (rest.empty()) return host;
    if (!rest.starts_with(L'-') && !rest.starts_with(L'/')) return PowerShellCommandText(rest, folders, exists);
    std::wstring_view after;
    const std::wstring_view option = NextArgument(rest, after).substr(1);
    rest = after;
    if (Abbreviates(option, L"File")) {
      std::wstring_view ignored;
      return Locate(NextArgument(rest, ignored), {L".ps1"}, folders, exists);
    }
    if (Abbreviates(option, L"Command")) return PowerShellCommandText(rest, folders, exists);
    // An encoded command names nothing that can be read: PowerShell's own file stands for it.
    if (Abbreviates(option, L"EncodedCommand") || Upper(option) == L"EC") return host;
    for (const auto& taking : kTakesValue) {
      if (Abbreviates(option, taking.name, taking.shortest)) {
        (void)NextArgument(rest, rest);
        break;
      }
    }
  }
}

// wscript and cscript [//switches] script; mshta path or address.
std::wstring ScriptHostCommand(const std::wstring& host, std::wstring_view rest, const CommandFolders& folders,
                               const FileProbe& exists) {
  for (;;) {
    rest = Trimmed(rest);
    if (rest.empty()) return host;
    std::wstring_view after;
    const std::wstring_view argument = NextArgument(rest, after);
    rest = after;
    if (argument.starts_with(L"//")) continue;
    // An address (http:, javascript:, vbscript:) is no file: the host stands for it.
    const auto colon = argument.find(L':');
    if (colon != std::wstring_view::npos && colon > 1) return host;
    return Locate(argument, {}, folders, exists);
  }
}

std::wstring Resolve(std::wstring_view command, std::initializer_list<const wchar_t*> extensions,
                     const CommandFolders& folders, const FileProbe& exists, int depth) {
  const Program program = FindProgram(command, extensions, folders, exists);
  if (program.file.empty() || depth >= kDeepestHost) return program.file;
  if (NameIs(program.file, {L"RUNDLL32.EXE"})) {
    return Trimmed(program.rest).empty() ? program.file : RunDllLibrary(program.rest, folders, exists);
  }
  if (NameIs(program.file, {L"CMD.EXE"})) return CmdCommand(program.file, program.rest, folders, exists, depth);
  if (NameIs(program.file, {L"POWERSHELL.EXE", L"PWSH.EXE"})) {
    return PowerShellCommand(program.file, program.rest, folders, exists);
  }
  if (NameIs(program.file, {L"WSCRIPT.EXE", L"CSCRIPT.EXE", L"MSHTA.EXE"})) {
    return ScriptHostCommand(program.file, program.rest, folders, exists);
  }
  return program.file;
}

}  // namespace

std::wstring ResolveCommandFile(std::wstring_view command, const CommandFolders& folders, const FileProbe& exists) {
  return Resolve(command, {L".exe"}, folders, exists, 0);
}

std::wstring ResolvePathFile(std::wstring_view path, const wchar_t* extension, const CommandFolders& folders,
                             const FileProbe& exists) {
  std::wstring_view text = Trimmed(path);
  if (text.size() >= 2 && text.front() == L'"') {
    std::wstring_view ignored;
    text = NextArgument(text, ignored);
  }
  return Locate(text, {extension}, folders, exists);
}
