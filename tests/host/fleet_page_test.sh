#!/usr/bin/env bash
# The fleet page opened in a real headless browser: the chart holds a bar for every outcome
# with the same count as the printed summary and the CSV, the tables and lists are there, and
# the screenshot shows the bars' colours. The screenshot stays in BUILD_DIR/fleet_page/.
#   bash tests/host/fleet_page_test.sh RULETOOL BUILD_DIR
set -euo pipefail
tool=$1
build=$2
work="$build/fleet_page"
rm -rf "$work"
mkdir -p "$work/reports/site-a" "$work/reports/site-b"
work=$(cd "$work" && pwd)

fail() {
  echo "FAIL: $*"
  exit 1
}

# report FILE COMPUTER EXIT_CODE END [LEFT_LINE]: a report as the cleaner writes it.
report() {
  local left=""
  [ -n "${5:-}" ] && left="{\"action\":\"left\",\"target\":\"\",\"outcome\":\"left\",\"reason\":\"$5\"}"
  printf '{"schemaVersion":1,"programVersion":"2.1.0.7 (abc1234)","computer":"%s","account":"CORP\\\\deploy",' "$2" >"$1"
  printf '"commandLine":"Cleaner.exe /Q","settings":{},"ruleFile":{"path":"C:\\\\C\\\\Do_list.dat","sha256":"00ff"},' >>"$1"
  printf '"start":"%s","end":"%s","actions":[%s],\n' "$4" "$4" "$left" >>"$1"
  printf '"counts":{"changes":3,"failed":0,"left":%d,"scheduled":0,"errors":0},"exitCode":%d}\n' "$([ -n "$left" ] && echo 1 || echo 0)" "$3" >>"$1"
}
day=2026-12-07T10:00:00+01:00
for i in 1 2 3 4 5; do report "$work/reports/site-a/clean$i.json" "PC-C$i" 0 "$day"; done
report "$work/reports/site-a/restart.json" PC-R1 3010 "$day"
report "$work/reports/site-b/left1.json" PC-L1 1 "$day" 'Could NOT delete C:\\P\\vmscan.dll'
report "$work/reports/site-b/left2.json" PC-L2 1 "$day" 'Could NOT delete C:\\P\\vmscan.dll'
report "$work/reports/site-b/failed.json" PC-F1 2 "$day"
report "$work/reports/site-b/typo.json" PC-T1 1639 "$day"
report "$work/reports/site-b/busy.json" PC-B1 1618 "$day"
report "$work/reports/site-b/again-early.json" PC-C1 1 2026-12-06T10:00:00+01:00 'Could NOT delete C:\\P\\old.dll'
printf '{"schemaVersion":1,"computer":"PC-X"' >"$work/reports/site-b/cut.json"
printf 'PC-C%s\n' 1 2 3 4 5 >"$work/expect.txt"
printf 'PC-R1\nPC-L1\nPC-L2\nPC-F1\nPC-T1\nPC-B1\nPC-GONE1\nPC-GONE2\n' >>"$work/expect.txt"

code=0
"$tool" fleet "$work/reports" --expect "$work/expect.txt" -o "$work/out" >"$work/summary.txt" || code=$?
[ "$code" = 1 ] || fail "RuleTool fleet ended with $code, not 1 (an unreadable report, machines missing)"

browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || fail "no chromium: scripts/setup.sh installs it"
flags=(--headless --disable-gpu --no-first-run --disable-background-networking --disable-component-update
       --disable-sync "--user-data-dir=$work/profile")
# As root the browser's sandbox cannot start.
[ "$(id -u)" = 0 ] && flags+=(--no-sandbox)
page="file://$work/out/fleet.html"
timeout 60 "$browser" "${flags[@]}" --dump-dom "$page" >"$work/dom.html" 2>"$work/browser.log" ||
  fail "the browser did not load the page: $(tail -3 "$work/browser.log")"
timeout 60 "$browser" "${flags[@]}" --window-size=1000,1400 --hide-scrollbars "--screenshot=$work/fleet_page.png" \
  "$page" >>"$work/browser.log" 2>&1 || fail "no screenshot: $(tail -3 "$work/browser.log")"

# Each outcome's count: in the browser's chart, in the printed table, in the CSV; all three
# the same and as the reports say.
declare -A expected=([clean]=5 ["restart pending"]=1 [left]=2 [failed]=1 ["refused command line"]=1
                     ["another copy running"]=1 ["never reported"]=2)
for outcome in "${!expected[@]}"; do
  want=${expected[$outcome]}
  grep -q "<g class=\"bar\" data-outcome=\"$outcome\" data-count=\"$want\"><title>$outcome: $want</title>" "$work/dom.html" ||
    fail "the chart's bar for \"$outcome\" does not say $want"
  grep -Eq "^  $outcome +$want " "$work/summary.txt" || fail "the summary does not count $want \"$outcome\""
  in_csv=$(awk -F, -v o="$outcome" 'NR > 1 && $2 == o' "$work/out/fleet.csv" | wc -l)
  [ "$in_csv" = "$want" ] || fail "the CSV has $in_csv rows \"$outcome\", not $want"
done
bars=$(grep -o '<rect ' "$work/dom.html" | wc -l)
[ "$bars" = 7 ] || fail "the chart has $bars bars, not 7"
grep -q '<span id="machines">11</span> machines reported, <span id="reports">12</span> reports read, <span id="unreadable">1</span> unreadable' "$work/dom.html" ||
  fail "the page's totals are not 11 machines, 12 reports, 1 unreadable"
grep -q '<td class="n">2</td><td>Could NOT delete C:\\P\\vmscan.dll</td><td>PC-L1, PC-L2</td>' "$work/dom.html" ||
  fail "the page's table of lines left lacks vmscan.dll on 2 machines"
grep -q 'old.dll' "$work/dom.html" && fail "an earlier run's line counts: only the latest run of PC-C1 may"
grep -q '<li>PC-GONE1</li>' "$work/dom.html" || fail "the page does not list PC-GONE1 as never reported"
grep -q 'cut.json: truncated' "$work/dom.html" || fail "the page does not list the truncated report"
grep -qi '<script' "$work/dom.html" && fail "the page has a script"

# The screenshot is the page drawn: its size, and the clean bar's green among its pixels.
[ "$(identify -format '%w %h' "$work/fleet_page.png")" = "1000 1400" ] || fail "the screenshot is not 1000x1400"
green=$(convert "$work/fleet_page.png" -fill white -opaque '#2e7d32' -fill black +opaque white -format '%[fx:mean]' info:)
awk -v g="$green" 'BEGIN { exit !(g > 0.005) }' || fail "the screenshot shows no green bar (share $green)"
echo "fleet page: chart, tables and lists as the summary and the CSV say; screenshot $work/fleet_page.png"
