#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12, as root.
# Idempotent: when every tool is already there it returns at once.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have wine || need+=(wine)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
dpkg -s wine64 >/dev/null 2>&1 || need+=(wine64)
dpkg -s fonts-wine >/dev/null 2>&1 || need+=(fonts-wine)
have Xvfb || need+=(xvfb)
have xauth || need+=(xauth)
have xwininfo || need+=(x11-utils)
have xdotool || need+=(xdotool)
have convert && convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
have cmake || need+=(cmake)
have make || need+=(make)
have clang++ || need+=(clang)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
have locale-gen || need+=(locales)
have wixl || need+=(wixl)  # Windows Installer packages of the demo product and the capture tests
[ -x /usr/bin/time ] || need+=(time)  # processor time and peak memory in the benchmarks
have osslsigncode || need+=(osslsigncode)  # make sign, and the signature test
have openssl || need+=(openssl)
have git || need+=(git)  # the executables' version comes from the commit
have chromium || need+=(chromium)  # the fleet page opened in a real browser by its test

if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages (${need[*]}); run as root to install them" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# Windows-1251 file names under Wine need the Russian glibc locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  if [ "$(id -u)" = 0 ]; then
    sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
  else
    echo "setup: ru_RU.UTF-8 locale missing; run as root to generate it" >&2
  fi
fi
exit 0
