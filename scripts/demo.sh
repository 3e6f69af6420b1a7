#!/usr/bin/env bash
# The demo: a Wine prefix holding a realistic installation of the product, the rule tool's
# plan of what the cleaner will do, then Cleaner.exe run unattended with its trace log, an
# inventory before and after, and a verdict.
#   bash scripts/demo.sh BUILD              unattended run, verdict at the end
#   bash scripts/demo.sh BUILD --window     the interactive window on the same installation
#                                           (needs a display: DISPLAY must be set)
set -uo pipefail
build=${1:-build}
mode=${2:-}
cd "$(dirname "$0")/.."
. scripts/wine_session.sh

fail() { echo "DEMO FAILED: $*"; exit 1; }
section() { printf '\n==== %s\n' "$*"; }

user_display=${DISPLAY:-}
if [ "$mode" = "--window" ] && [ -z "$user_display" ]; then
  echo "demo: --window needs a display (DISPLAY is not set)" >&2
  exit 2
fi
for f in "$build/win/Cleaner.exe" "$build/win/RuleTool.exe" "$build/win/sleeper.exe" "$build/win/velmora_part.exe" \
         "$build/host/RuleTool" "$build/host/demo/Do_list.dat"; do
  [ -f "$f" ] || fail "$f is missing; build first (make build)"
done

# The Russian locale gives Wine the ANSI code page 1251, in which the Startup shortcut's
# Cyrillic name can be shown; without it the code page is 1252.
if locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  export LANG=ru_RU.UTF-8
  ansi=CP1251
else
  export LANG=C.UTF-8
  ansi=CP1252
fi
unset LC_ALL
export LC_MESSAGES=C.UTF-8
from_ansi() { iconv -f "$ansi" -t UTF-8 -c | tr -d '\r'; }

wine_session_start "$build" demo
trap wine_session_stop EXIT
drive_c="$WINEPREFIX/drive_c"

# Where this prefix keeps the folders the product installs into (registry values, as the
# cleaner reads them).
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_[A-Z_]*[[:space:]]*//p' | head -1
}
unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
shell_folders='Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
pf_win=$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion' ProgramFilesDir)
cf_win=$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion' CommonFilesDir)
programs_win=$(reg_value "HKLM\\$shell_folders" 'Common Programs')
startup_win=$(reg_value "HKCU\\$shell_folders" Startup)
[ -n "$pf_win" ] && [ -n "$cf_win" ] && [ -n "$programs_win" ] && [ -n "$startup_win" ] ||
  fail "the Wine prefix does not name its Program Files, Common Files, Programs and Startup folders"
pf=$(unix_path "$pf_win"); cf=$(unix_path "$cf_win")
programs=$(unix_path "$programs_win"); startup=$(unix_path "$startup_win")
windir="$drive_c/windows"; sysdir="$drive_c/windows/system32"

program="$pf/Velmora Lab"
shared="$cf/ZDN Shared Files"
start_menu="$programs/Velmora Anti-Virus"
link_name='ZDN Монитор.lnk'
clsid='{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}'
clsid_keep='{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A16}'
run_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run'
user_run='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'

section "Seeding a QRV installation into the Wine prefix $WINEPREFIX"
write() { mkdir -p "$(dirname "$1")"; printf '%s\r\n' "$2" > "$1"; }
esc() { printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'; }
# The installation as the product leaves it; run again for the last act after the first
# clean. Sets pid_zdnm, pid_zdns, pid_keep.
seed_installation() {
  write "$program/QRV.exe" "Velmora Anti-Virus 5.1"
  write "$program/Bases/main.avb" "signature base"
  write "$program/Bases/daily/2024-05-01.avb" "daily base"
  write "$program/Bases/daily/2024-05-02.avb" "daily base"
  write "$program/Logs/scan.log" "scan log"
  write "$program/license.key" "QRV-5100-0000"
  cp "$build/win/sleeper.exe" "$program/ZdnM.exe"
  cp "$build/win/sleeper.exe" "$program/ZdnS.exe"
  write "$shared/zdnbase.dll" "shared engine"
  write "$shared/zdnshell.dll" "shell extension"
  write "$shared/Plugins/mail.plg" "mail plug-in"
  write "$start_menu/QRV.lnk" "link"
  write "$start_menu/Uninstall QRV.lnk" "link"
  write "$start_menu/Help/Manual.lnk" "link"
  write "$startup/$link_name" "link"
  # The hook library carries its maker's version resource, the evidence that lets it go from
  # the System folder.
  cp "$build/win/velmora_part.exe" "$sysdir/zdnhook.dll"
  write "$windir/qrv.ini" "[QRV]"
  # Canaries: things beside the targets that must survive.
  write "$pf/Velmora Notes/readme.txt" "not the product's"
  write "$cf/ZDN Shared Keep/keep.dll" "not the product's"
  write "$programs/Velmora Tools/Tool.lnk" "not the product's"
  write "$startup/Keep Me.lnk" "not the product's"
  write "$sysdir/zdnkeep.dll" "not the product's"
  mkdir -p "$drive_c/Tools" && cp "$build/win/sleeper.exe" "$drive_c/Tools/ZdnUpdate.exe"
  # Read-only and hidden files, as the product leaves them.
  # attrib.exe is started directly: Wine's cmd /c splits a quoted path with blanks.
  wine attrib +r +h "$pf_win\\Velmora Lab\\license.key" >/dev/null 2>&1
  wine attrib +h "$pf_win\\Velmora Lab\\Logs\\scan.log" >/dev/null 2>&1
  wine attrib +r "$cf_win\\ZDN Shared Files\\Plugins\\mail.plg" >/dev/null 2>&1
  wine attrib +r +h +s "$pf_win\\Velmora Lab\\Bases\\main.avb" >/dev/null 2>&1

  reg_file="$drive_c/seed.reg"
  {
    echo 'REGEDIT4'
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\VelmoraLab\QRV]'
    echo '"Version"="5.1.0.112"'
    echo "\"InstallPath\"=\"$(esc "$pf_win\\Velmora Lab")\""
    echo '[HKEY_LOCAL_MACHINE\Software\VelmoraLab\QRV\Engine]'
    echo '"Bases"="2024-05-02"'
    echo '[HKEY_LOCAL_MACHINE\Software\VelmoraLab\SharedFiles]'
    echo "\"Folder\"=\"$(esc "$cf_win\\ZDN Shared Files")\""
    echo '[HKEY_CURRENT_USER\Software\VelmoraLab\QRV\Settings]'
    echo '"Language"="ru"'
    echo '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZdnMon]'
    echo "\"ImagePath\"=\"$(esc "$pf_win\\Velmora Lab\\ZdnS.exe")\""
    echo '"Start"=dword:00000002'
    echo "[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]"
    echo "@=\"$(esc "$cf_win\\ZDN Shared Files\\zdnshell.dll")\""
    echo '[HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers\ZDNScan]'
    echo "@=\"$clsid\""
    echo "[$run_key]"
    echo "\"ZDN Monitor\"=\"$(esc "\"$pf_win\\Velmora Lab\\ZdnM.exe\" /tray")\""
    echo '"Keep Me"="C:\\Tools\\keep.exe"'
    echo "[$user_run]"
    echo "\"QRV Tray\"=\"$(esc "$pf_win\\Velmora Lab\\QRV.exe")\""
    echo '"QuickLaunch.zdn-off"="C:\\Tools\\quicklaunch.exe"'
    echo '"QuickLaunch"=-'  # the name the first act renamed it to
    echo '[HKEY_LOCAL_MACHINE\Software\Velmora Partner]'
    echo '"Keep"="yes"'
    echo "[HKEY_CLASSES_ROOT\\CLSID\\$clsid_keep]"
    echo '@="a neighbour"'
  } | sed 's/$/\r/' > "$reg_file"
  wine regedit /S 'C:\seed.reg' >/dev/null 2>&1 || fail "regedit could not seed the registry"

  # Running processes named like the product's (and one that only looks alike).
  wine "$pf_win\\Velmora Lab\\ZdnM.exe" 900 >/dev/null 2>&1 & pid_zdnm=$!
  wine "$pf_win\\Velmora Lab\\ZdnS.exe" 900 >/dev/null 2>&1 & pid_zdns=$!
  wine 'C:\Tools\ZdnUpdate.exe' 900 >/dev/null 2>&1 & pid_keep=$!
}
seed_installation

# The cleaner as an administrator gets it: Cleaner.exe with its rule and settings files.
folder="$drive_c/Cleaner"
mkdir -p "$folder"
cp "$build/win/Cleaner.exe" "$build/win/RuleTool.exe" "$build/host/demo/Do_list.dat" "$folder/"
silent=1
[ "$mode" = "--window" ] && silent=0
printf '[Mode]\r\nSILENT=%s\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nDEL_LINK=1\r\nKILLPROCESS=1\r\n[End_Options]\r\n' \
  "$silent" > "$folder/QRV_RC.INI"
sleep 1

# name|kind|where|detail: kind is file, folder, link (checked on the Linux side), key or
# value (checked with reg query inside the prefix), process (a Linux pid).
targets=(
  "program folder|folder|$program"
  "shared folder|folder|$shared"
  "Start Menu folder|folder|$start_menu"
  "Startup shortcut $link_name|file|$startup/$link_name"
  "system32\\zdnhook.dll|file|$sysdir/zdnhook.dll"
  "windows\\qrv.ini|file|$windir/qrv.ini"
  "HKLM\\Software\\VelmoraLab|key|HKLM\\Software\\VelmoraLab"
  "HKCU\\Software\\VelmoraLab|key|HKCU\\Software\\VelmoraLab"
  "service key ZdnMon|key|HKLM\\SYSTEM\\CurrentControlSet\\Services\\ZdnMon"
  "shell extension CLSID|key|HKCR\\CLSID\\$clsid"
  "context menu handler|key|HKCR\\*\\shellex\\ContextMenuHandlers\\ZDNScan"
  "Run value ZDN Monitor|value|$run_key|ZDN Monitor"
  "Run value QRV Tray|value|$user_run|QRV Tray"
  "renamed value QuickLaunch.zdn-off|value|$user_run|QuickLaunch.zdn-off"
  "process ZdnM.exe|process|$pid_zdnm"
  "process ZdnS.exe|process|$pid_zdns"
)
canaries=(
  "Program Files\\Velmora Notes|folder|$pf/Velmora Notes"
  "Common Files\\ZDN Shared Keep|folder|$cf/ZDN Shared Keep"
  "Start Menu\\Velmora Tools|folder|$programs/Velmora Tools"
  "Startup shortcut Keep Me.lnk|file|$startup/Keep Me.lnk"
  "system32\\zdnkeep.dll|file|$sysdir/zdnkeep.dll"
  "HKLM\\Software\\Velmora Partner|key|HKLM\\Software\\Velmora Partner"
  "neighbouring CLSID|key|HKCR\\CLSID\\$clsid_keep"
  "Run value Keep Me|value|$run_key|Keep Me"
  "process ZdnUpdate.exe|process|$pid_keep"
)

# Prints one line per item and sets present_count; registry items are asked in one go.
inventory() {
  local label=$1; shift
  local script="$drive_c/inventory.cmd" i=0 item name kind where detail
  printf '@echo off\r\n' > "$script"
  for item in "$@"; do
    IFS='|' read -r name kind where detail <<<"$item"
    case $kind in
      key) printf 'reg query "%s" >nul 2>&1\r\n' "$where" >> "$script" ;;
      value) printf 'reg query "%s" /v "%s" >nul 2>&1\r\n' "$where" "$detail" >> "$script" ;;
    esac
    case $kind in
      key|value) printf 'if errorlevel 1 (echo %s absent) else (echo %s present)\r\n' "$i" "$i" >> "$script" ;;
    esac
    i=$((i + 1))
  done
  local answers
  answers=$(wine cmd /c 'C:\inventory.cmd' 2>/dev/null | tr -d '\r' | sed 's/[[:space:]]*$//')
  present_count=0
  i=0
  echo "-- $label"
  for item in "$@"; do
    IFS='|' read -r name kind where detail <<<"$item"
    local state=absent
    case $kind in
      folder) [ -d "$where" ] && state=present ;;
      file) [ -f "$where" ] && state=present ;;
      process) kill -0 "$where" 2>/dev/null && state=present ;;
      *) grep -qx "$i present" <<<"$answers" && state=present ;;
    esac
    [ "$state" = present ] && present_count=$((present_count + 1))
    printf '   %-8s %s\n' "$state" "$name"
    i=$((i + 1))
  done
}

section "Inventory before"
inventory "product (the rules name these)" "${targets[@]}"; targets_before=$present_count
inventory "canaries (beside the targets, must stay)" "${canaries[@]}"; canaries_before=$present_count
[ "$targets_before" = "${#targets[@]}" ] || fail "seeding left $(( ${#targets[@]} - targets_before )) targets out"

section "RuleTool check Do_list.dat (the rule file, encoded at build time from demo/Do_list.txt)"
if "$build/host/RuleTool" check "$build/host/demo/Do_list.dat"; then echo "   no findings"; fi

section "RuleTool plan: what the cleaner would do here (nothing is changed)"
(cd "$folder" && wine 'C:\Cleaner\RuleTool.exe' plan --backup 'C:\Backup' 2>&1) | from_ansi
plan_code=${PIPESTATUS[0]}
inventory "product after the plan" "${targets[@]}" >/dev/null
[ "$present_count" = "$targets_before" ] || fail "the plan changed the installation"
echo "(plan exit code $plan_code: 3 says the product is present; inventory unchanged after the plan)"

if [ "$mode" = "--window" ]; then
  section "Cleaner.exe /TL in its window on $user_display: press Start, then Exit"
  (cd "$folder" && DISPLAY=$user_display wine 'C:\Cleaner\Cleaner.exe' /TL)
  run_code=$?
else
  section "Cleaner.exe /Q /TL=C:\\Cleaner\\VC.LOG, quiet and unattended (SILENT=1, DELETE=1, DEL_LINK=1)"
  started=$(date +%s%N)
  (cd "$folder" && wine 'C:\Cleaner\Cleaner.exe' /Q '/TL=C:\Cleaner\VC.LOG')
  run_code=$?
  echo "   exit code $run_code after $(( ($(date +%s%N) - started) / 1000000 )) ms"
fi
sleep 1

section "Inventory after"
inventory "product (the rules name these)" "${targets[@]}"; targets_left=$present_count
inventory "canaries (beside the targets, must stay)" "${canaries[@]}"; canaries_after=$present_count

if [ "$mode" != "--window" ]; then
  section "RuleTool plan again: nothing of the product is left (exit code 0)"
  (cd "$folder" && wine 'C:\Cleaner\RuleTool.exe' plan 2>&1) | from_ansi | tail -1
  after_code=${PIPESTATUS[0]}
  echo "(plan exit code $after_code)"
fi

section "Trace log C:\\Cleaner\\VC.LOG"
if [ -f "$folder/VC.LOG" ]; then from_ansi < "$folder/VC.LOG"; else echo "   (no trace log)"; fi

quick=$(wine reg query "$user_run" /v QuickLaunch 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p')
problems=()
[ "$targets_left" = 0 ] || problems+=("$targets_left of ${#targets[@]} targets are still there")
[ "$canaries_after" = "$canaries_before" ] || problems+=("$(( canaries_before - canaries_after )) canaries were removed")
[ "$quick" = 'C:\Tools\quicklaunch.exe' ] || problems+=("QuickLaunch did not get its data back")
[ "$plan_code" = 3 ] || problems+=("the plan ended with exit code $plan_code, not 3 (the product present)")
[ "$mode" = "--window" ] || [ "$after_code" = 0 ] ||
  problems+=("the plan after the clean ended with exit code $after_code, not 0 (nothing left)")
[ "$mode" = "--window" ] || [ "$run_code" = 0 ] || problems+=("Cleaner.exe ended with exit code $run_code")

# Last act: the same installation seeded again, cleaned with a backup, then undone. Files
# (names, sizes, times, contents, attributes), keys and values must be as before the clean;
# the product's processes are not started again by an undo, so they are left out.
undo_code=skipped
if [ "$mode" != "--window" ]; then
  section "Last act: the installation again, cleaned with /BACKUP=C:\\Backup, then /UNDO"
  kill "$pid_keep" 2>/dev/null
  seed_installation >/dev/null
  sleep 1
  # Everything an undo puts back, as text to compare.
  state_listing() {
    local item name kind where detail
    for item in "${targets[@]}"; do
      IFS='|' read -r name kind where detail <<<"$item"
      case $kind in
        folder) [ -d "$where" ] && (cd "$where" && find . -type d | sort && find . -type f -printf '%p %s %T@\n' | sort &&
                  find . -type f -exec md5sum {} + | sort) ;;
        file) [ -f "$where" ] && stat -c '%s %Y' "$where" && md5sum < "$where" ;;
        key) wine reg export "$where" 'C:\listing.reg' /y >/dev/null 2>&1 && iconv -f UTF-16 -t UTF-8 "$drive_c/listing.reg" ;;
        value) wine reg query "$where" /v "$detail" 2>/dev/null | tr -d '\r' ;;
      esac
      echo "-- $name"
    done
    wine attrib /s "$pf_win\\Velmora Lab\\*" 2>/dev/null | tr -d '\r'
    wine attrib /s "$cf_win\\ZDN Shared Files\\*" 2>/dev/null | tr -d '\r'
  }
  state_listing > "$drive_c/before_backup.txt"
  (cd "$folder" && wine 'C:\Cleaner\Cleaner.exe' /Q '/TL=C:\Cleaner\VC_BACKUP.LOG' '/BACKUP=C:\Backup')
  backup_code=$?
  inventory "product after the clean with a backup" "${targets[@]}" >/dev/null
  backup_left=$present_count
  run_folder=$(ls "$drive_c/Backup" | head -1)
  echo "   exit code $backup_code, $backup_left targets left, backup in C:\\Backup\\$run_folder:"
  (cd "$drive_c/Backup/$run_folder" && ls -1 && echo "   $(grep -c . journal.txt) journal lines, $(ls files | wc -l) files kept")
  (cd "$folder" && wine 'C:\Cleaner\Cleaner.exe' /Q '/TL=C:\Cleaner\VC_UNDO.LOG' "/UNDO=C:\\Backup\\$run_folder")
  undo_code=$?
  echo "   undo exit code $undo_code; its trace log:"
  from_ansi < "$folder/VC_UNDO.LOG" | sed -n '/Undo complete/p;/Not /p'
  state_listing > "$drive_c/after_undo.txt"
  if diff "$drive_c/before_backup.txt" "$drive_c/after_undo.txt"; then
    echo "   files, attributes, keys and values after the undo are as before the clean"
  else
    problems+=("the undo did not bring back the installation as it was (differences above)")
  fi
  [ "$backup_code" = 0 ] || problems+=("the clean with a backup ended with exit code $backup_code")
  [ "$backup_left" = 0 ] || problems+=("the clean with a backup left $backup_left targets")
  [ "$undo_code" = 0 ] || problems+=("the undo ended with exit code $undo_code")
fi

kill "$pid_keep" 2>/dev/null
echo
if [ ${#problems[@]} -eq 0 ]; then
  echo "DEMO PASSED: ${#targets[@]} targets removed, ${canaries_before} canaries intact, exit code $run_code;" \
    "with a backup, the undo (exit code $undo_code) put every file, key and value back"
  exit 0
fi
[ "$mode" = "--window" ] && problems+=("in the window, Start must be pressed with the three boxes checked")
echo "DEMO FAILED: $(IFS=';'; echo "${problems[*]}" | sed 's/;/; /g')"
exit 1
