#!/usr/bin/env bash
# The demo's product as a Windows Installer package: built with wixl, installed with msiexec
# into a fresh Wine prefix between two snapshots, its rule file captured, encoded, checked and
# planned; then the cleaner carries it out with a backup, Windows Installer no longer knows
# the product, and the undo puts the installation back as it was (a capture between the
# installed and the undone machine finds nothing).
#   bash scripts/capture_demo.sh [BUILD_DIR]
set -uo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
. scripts/wine_session.sh

product='{3C5A9E21-7B4D-4E8F-9A61-0D2E5F7A8B51}'
out="$build/capture_demo"
rm -rf "$out"; mkdir -p "$out"
failures=()
section() { printf '\n== %s\n' "$1"; }
fail() { echo "FAILED: $1"; failures+=("$1"); }
# Runs one check's command and counts it, so the end can say how many held.
checks=0
check() { checks=$((checks + 1)); "$@"; }
rule_tool() { wine "$build/win/RuleTool.exe" "$@" 2>/dev/null | tr -d '\r'; }
# The full exit code of msiexec, read through cmd (a Linux parent sees only its low 8 bits).
msiexec_code() {
  printf '@msiexec %s /qn\r\n@echo %%errorlevel%%\r\n' "$1" >"$WINEPREFIX/drive_c/capture/msi.cmd"
  wine cmd /c 'C:\capture\msi.cmd' 2>/dev/null | tr -d '\r' | tail -1
}
rules_in() { tr -d '\r' <"$1" | grep -c -v -e '^;' -e '^\[' -e '^$' || true; }

section "wixl -o velmora.msi demo/installer/velmora.wxs"
# The package carries the product's hook library as the product ships it, with Velmora's
# version resource: a file in the System folder goes only with the product's evidence.
rm -rf "$out/installer" && mkdir -p "$out/installer" && cp demo/installer/* "$out/installer/"
cp "$build/win/velmora_part.exe" "$out/installer/zdnhook.dll" || { echo "no velmora_part.exe in $build/win"; exit 1; }
(cd "$out/installer" && wixl -o ../velmora.msi velmora.wxs) || { echo "wixl failed"; exit 1; }
wine_session_start "$build" capture_demo win32 nodisplay
trap wine_session_stop EXIT
c="$WINEPREFIX/drive_c"
mkdir -p "$c/capture" "$c/Cleaner"
cp "$out/velmora.msi" "$c/capture/"

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
wine reg add "$run_key" /v QuickLaunch /t REG_SZ /d 'C:\Tools\launch.exe' /f >/dev/null 2>&1
section "RuleTool snapshot C:\\capture\\before.snap, and a baseline for the noise"
rule_tool snapshot 'C:\capture\before.snap'
rule_tool snapshot 'C:\capture\baseline.snap'
# The product's installer switches off the user's launcher by renaming its Run value; a
# package cannot rename a value, so the script does it the way the installer would.
section "msiexec /i C:\\capture\\velmora.msi /qn (and the user's Run value QuickLaunch renamed QuickLaunch.zdn-off)"
wine reg delete "$run_key" /v QuickLaunch /f >/dev/null 2>&1
wine reg add "$run_key" /v QuickLaunch.zdn-off /t REG_SZ /d 'C:\Tools\launch.exe' /f >/dev/null 2>&1
code=$(msiexec_code '/i C:\capture\velmora.msi')
echo "exit code $code"; check [ "$code" = 0 ] || fail "msiexec /i ended with $code"
# The undo puts files back by moving them, which gives them new change times: the installed and
# the undone machine are compared by what the files hold, read with --content.
section "RuleTool snapshot C:\\capture\\after.snap --content"
rule_tool snapshot 'C:\capture\after.snap' --content
section "RuleTool capture before.snap after.snap --baseline baseline.snap -o Do_list.txt"
rule_tool capture 'C:\capture\before.snap' 'C:\capture\after.snap' --baseline 'C:\capture\baseline.snap' -o 'C:\capture\Do_list.txt'
cat "$c/capture/Do_list.txt" | tr -d '\r'
section "RuleTool encode, check and plan"
rule_tool encode 'C:\capture\Do_list.txt' -o 'C:\Cleaner\Do_list.dat'
check rule_tool check 'C:\Cleaner\Do_list.dat' || fail "RuleTool check found something"
cp "$build/win/Cleaner.exe" "$c/Cleaner/"
printf '[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\n[End_Options]\r\n' >"$c/Cleaner/QRV_RC.INI"
rule_tool plan --rules 'C:\Cleaner\Do_list.dat' --backup 'C:\Backup'

section "Cleaner.exe /Q /BACKUP=C:\\Backup /TL=C:\\Cleaner\\VC.LOG"
wine 'C:\Cleaner\Cleaner.exe' /Q '/BACKUP=C:\Backup' '/TL=C:\Cleaner\VC.LOG'
code=$?; echo "exit code $code"; check [ "$code" = 0 ] || fail "the cleaner ended with $code"
code=$(msiexec_code "/x $product")
echo "msiexec /x $product: $code (1605: this product is not installed)"
check [ "$code" = 1605 ] || fail "Windows Installer still knows the product ($code)"
rule_tool snapshot 'C:\capture\cleaned.snap'
rule_tool capture 'C:\capture\before.snap' 'C:\capture\cleaned.snap' --baseline 'C:\capture\baseline.snap' -o 'C:\capture\left.txt'
left=$(rules_in "$c/capture/left.txt")
check wine reg query "$run_key" /v QuickLaunch >/dev/null 2>&1 || fail "the user's Run value QuickLaunch is not back"
echo "left behind, as rules: $left"; check [ "$left" = 0 ] || { tr -d '\r' <"$c/capture/left.txt"; fail "the clean left $left items"; }

run=$(ls "$c/Backup" | head -1)
section "Cleaner.exe /Q /UNDO=C:\\Backup\\$run"
wine 'C:\Cleaner\Cleaner.exe' /Q "/UNDO=C:\\Backup\\$run"
code=$?; echo "exit code $code"; check [ "$code" = 0 ] || fail "the undo ended with $code"
rule_tool snapshot 'C:\capture\undone.snap' --content
rule_tool capture 'C:\capture\after.snap' 'C:\capture\undone.snap' --baseline 'C:\capture\baseline.snap' -o 'C:\capture\undone.txt'
differs=$(tr -d '\r' <"$c/capture/undone.txt" | grep -c -v -e '^; Rules captured' -e '^; Lines outside' -e '^$' || true)
echo "differences between installed and undone: $differs"
check [ "$differs" = 0 ] || { tr -d '\r' <"$c/capture/undone.txt"; fail "the undone machine differs from the installed one"; }
code=$(msiexec_code "/x $product")
echo "msiexec /x $product after the undo: $code"; check [ "$code" = 0 ] || fail "the undone product does not uninstall ($code)"

echo; echo "capture demo: $((checks - ${#failures[@]})) passed, ${#failures[@]} failed"
if [ ${#failures[@]} = 0 ]; then
  echo; echo "CAPTURE DEMO PASSED: captured $(rules_in "$c/capture/Do_list.txt") rules, cleaned, undone, uninstalled"
else
  echo; echo "CAPTURE DEMO FAILED: ${failures[*]}"; exit 1
fi
