#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <string>

#include "engine/guards/command_line.h"

namespace {

// The files of a small machine, upper-cased as the probe compares them.
const std::set<std::wstring>& Files() {
  static const std::set<std::wstring> files = {
      L"C:\\WINDOWS\\SYSTEM32\\CMD.EXE",          L"C:\\WINDOWS\\SYSTEM32\\RUNDLL32.EXE",
      L"C:\\WINDOWS\\SYSTEM32\\WSCRIPT.EXE",      L"C:\\WINDOWS\\SYSTEM32\\CSCRIPT.EXE",
      L"C:\\WINDOWS\\SYSTEM32\\MSHTA.EXE",        L"C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL",
      L"C:\\WINDOWS\\SYSTEM32\\NOTEPAD.EXE",      L"C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE",
      L"C:\\WINDOWS\\SYSTEM32\\DRIVERS\\KSECDD.SYS",
      L"C:\\WINDOWS\\SYSTEM32\\WINDOWSPOWERSHELL\\V1.0\\POWERSHELL.EXE",
      L"C:\\WINDOWS\\EXPLORER.EXE",               L"C:\\PROGRAM FILES\\OTHER APP\\OTHER.EXE",
      L"C:\\PROGRAM FILES\\OTHER APP\\TRAY",      L"C:\\PROGRAM FILES\\OTHER APP\\START.PS1",
      L"C:\\PROGRAM FILES\\OTHER APP\\RUN.BAT",   L"C:\\PROGRAM FILES\\OTHER APP\\HOOK.DLL",
      L"C:\\PROGRAM FILES\\OTHER APP\\SHOW.HTA",  L"C:\\PROGRAM FILES\\OTHER APP\\CHECK.VBS",
      L"C:\\PROGRAM FILES\\VELMORA LAB\\ZDNM.EXE", L"C:\\TOOLS\\SPLIT.EXE", L"C:\\TOOLS\\EXEC.EXE.BAK\\RUN.EXE",
  };
  return files;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c;
  return text;
}

const CommandFolders kFolders{L"C:\\WINDOWS\\SYSTEM32", L"C:\\WINDOWS", {L"C:\\WINDOWS\\SYSTEM32\\WindowsPowerShell\\v1.0"}};
const FileProbe kProbe = [](const std::wstring& path) { return Files().count(Upper(path)) != 0; };

}  // namespace

// Each command line as a registration or a Run value holds it, and the file Windows runs for
// it: hosts unwrapped to what they run, empty where that is gone.
TEST(CommandResolution, FindsTheFileWindowsRunsThroughEveryHost) {
  const std::wstring other = L"C:\\PROGRAM FILES\\OTHER APP\\", system = L"C:\\WINDOWS\\SYSTEM32\\";
  const struct {
    const wchar_t* command;
    std::wstring file;
  } cases[] = {
      // Quoted, unquoted with blanks tried left to right, ".exe" added, the system folders searched.
      {L"\"C:\\Program Files\\Other App\\other.exe\" /tray", other + L"OTHER.EXE"},
      {L"\"C:\\Program Files\\Other App\\other\" /tray", other + L"OTHER.EXE"},
      {L"C:\\Program Files\\Other App\\other.exe --tray now", other + L"OTHER.EXE"},
      {L"C:\\Program Files\\Other App\\other --tray", other + L"OTHER.EXE"},
      {L"C:\\Program Files\\Velmora Lab\\ZdnM.exe", L"C:\\PROGRAM FILES\\VELMORA LAB\\ZDNM.EXE"},
      {L"C:\\Tools\\Split Here\\gone.exe -x", L"C:\\TOOLS\\SPLIT.EXE"},  // as CreateProcess: the first that exists
      {L"C:\\Program Files\\Other App\\tray", L""},              // a name without an extension gets ".exe" only
      {L"notepad /p", system + L"NOTEPAD.EXE"},
      {L"  notepad.EXE readme.txt", system + L"NOTEPAD.EXE"},
      {L"C:\\Tools\\exec.exe.bak\\run.exe -x", L"C:\\TOOLS\\EXEC.EXE.BAK\\RUN.EXE"},
      {L"\"C:\\Program Files\\Other App\\other.exe", other + L"OTHER.EXE"},  // a quote never closed
      {L"explorer.exe", L"C:\\WINDOWS\\EXPLORER.EXE"},
      {L"C:/Program Files/Other App/other.exe", other + L"OTHER.EXE"},
      {L"\\??\\C:\\Program Files\\Other App\\other.exe", other + L"OTHER.EXE"},
      {L"\\SystemRoot\\System32\\drivers\\ksecdd.sys", system + L"DRIVERS\\KSECDD.SYS"},
      {L"System32\\drivers\\ksecdd.sys", system + L"DRIVERS\\KSECDD.SYS"},
      {L"%SystemRoot%\\system32\\svchost.exe -k netsvcs", L""},  // expanding is the caller's
      {L"C:\\Gone\\qrv_missing.exe", L""},
      {L"", L""},
      {L"   ", L""},
      // rundll32: its library.
      {L"rundll32.exe \"C:\\Program Files\\Other App\\hook.dll\",Start", other + L"HOOK.DLL"},
      {L"rundll32 C:\\Program Files\\Other App\\hook,Start now", other + L"HOOK.DLL"},
      {L"rundll32.exe shell32.dll,Control_RunDLL desk.cpl", system + L"SHELL32.DLL"},
      {L"rundll32.exe C:\\Gone\\x.dll,Run", L""},
      {L"rundll32.exe", system + L"RUNDLL32.EXE"},
      // cmd /c and /k, its start, quoted whole or not.
      {L"cmd /c start \"\" \"C:\\Program Files\\Other App\\other.exe\" /tray", other + L"OTHER.EXE"},
      {L"cmd.exe /d /c start /min C:\\Progra~9\\x.exe", L""},
      {L"C:\\Windows\\System32\\cmd.exe /c start /D C:\\Temp other.exe", L""},
      {L"cmd /c start /b /D \"C:\\Program Files\\Other App\" \"title\" notepad", system + L"NOTEPAD.EXE"},
      {L"cmd /k \"C:\\Program Files\\Other App\\run.bat\"", other + L"RUN.BAT"},
      {L"cmd /c \"\"C:\\Program Files\\Other App\\run\" \"arg one\"\"", other + L"RUN.BAT"},
      {L"cmd /c C:\\Program Files\\Other App\\other.exe", other + L"OTHER.EXE"},
      {L"cmd", system + L"CMD.EXE"},
      {L"cmd /c start powershell -File \"C:\\Program Files\\Other App\\start.ps1\"", other + L"START.PS1"},
      // powershell: -File, -Command, a command without a switch; an encoded one is PowerShell's.
      {L"powershell.exe -NoProfile -ExecutionPolicy Bypass -WindowStyle Hidden -File \"C:\\Program Files\\Other App\\start.ps1\"",
       other + L"START.PS1"},
      {L"powershell -ep bypass -f \"C:\\Program Files\\Other App\\start.ps1\" -x", other + L"START.PS1"},
      {L"powershell -Command \"& 'C:\\Program Files\\Other App\\start.ps1' -Quiet\"", other + L"START.PS1"},
      {L"powershell -c \"Start-Process 'C:\\Program Files\\Other App\\other.exe'\"", other + L"OTHER.EXE"},
      {L"powershell -NoLogo \"& 'C:\\Program Files\\Other App\\other.exe'\"", other + L"OTHER.EXE"},
      {L"powershell -EncodedCommand SQBFAFgA", system + L"WINDOWSPOWERSHELL\\V1.0\\POWERSHELL.EXE"},
      {L"powershell -File C:\\Gone\\x.ps1", L""},
      // wscript, cscript, mshta: their script; an address is the host's.
      {L"wscript.exe //B //Nologo \"C:\\Program Files\\Other App\\check.vbs\"", other + L"CHECK.VBS"},
      {L"cscript \"C:\\Program Files\\Other App\\check.vbs\" arg", other + L"CHECK.VBS"},
      {L"mshta \"C:\\Program Files\\Other App\\show.hta\"", other + L"SHOW.HTA"},
      {L"mshta.exe vbscript:Execute(\"x\")", system + L"MSHTA.EXE"},
      {L"mshta http://example.invalid/x.hta", system + L"MSHTA.EXE"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Upper(ResolveCommandFile(c.command, kFolders, kProbe)), c.file) << std::string(c.command, c.command + std::wcslen(c.command));
  }
}

// InprocServer32 and ServiceDll hold a path, not a command line: blanks are part of it.
TEST(CommandResolution, FindsTheLibraryAPathNames) {
  const struct {
    const wchar_t* path;
    std::wstring file;
  } cases[] = {
      {L"C:\\Program Files\\Other App\\hook.dll", L"C:\\PROGRAM FILES\\OTHER APP\\HOOK.DLL"},
      {L"\"C:\\Program Files\\Other App\\hook.dll\"", L"C:\\PROGRAM FILES\\OTHER APP\\HOOK.DLL"},
      {L"C:\\Program Files\\Other App\\hook", L"C:\\PROGRAM FILES\\OTHER APP\\HOOK.DLL"},
      {L"shell32.dll", L"C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL"},
      {L"shell32", L"C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL"},
      {L"C:\\Program Files\\Other App\\hook.dll,1", L""},
      {L"C:\\Gone\\x.dll", L""},
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Upper(ResolvePathFile(c.path, L".dll", kFolders, kProbe)), c.file) << std::string(c.path, c.path + std::wcslen(c.path));
  }
}
