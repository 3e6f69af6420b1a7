#!/usr/bin/env bash
# Runs the trace log's disk-full test with its current folder on a 64 KiB tmpfs, mounted
# here for the test and unmounted after it. Mounting needs root (CI runs as root): without
# it, or where mounting is refused, the test is skipped (exit 77) with the reason.
# Runs inside the Wine session of the test run (WINEPREFIX, DISPLAY set).
#   bash tests/hardening/disk_full.sh BUILD_WIN_DIR
set -u
bin=$1
if [ "$(id -u)" != 0 ]; then
  echo "skipped: mounting the 64 KiB tmpfs for the disk-full test needs root"
  exit 77
fi
# Not below /tmp: a backup refuses a folder above it that every user may write into.
disk=$(mktemp -d "$(cd "$bin" && pwd)/cleaner_full_disk.XXXXXX")
if ! mount -t tmpfs -o size=64k,mode=755 cleaner_full_disk "$disk"; then
  echo "skipped: cannot mount a tmpfs on $disk"
  rmdir "$disk"
  exit 77
fi
trap 'umount "$disk" && rmdir "$disk"' EXIT
echo "64 KiB tmpfs on $disk: $(df -k "$disk" | tail -1)"
CLEANER_FULL_DISK="Z:$(printf '%s' "$disk" | tr / '\\')" wine "$bin/e2e_tests.exe" --gtest_filter='HardeningDiskFull.*'
