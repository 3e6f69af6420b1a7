# Sourced by the test, demo and bench scripts: one Xvfb, one fresh Wine prefix (32-bit unless
# ARCH says win64) under the build tree and one persistent Wine server for the whole session.
#   wine_session_start BUILD_DIR [NAME] [ARCH] [nodisplay]   then   wine_session_stop
# Exports WINEPREFIX, WINEARCH, WINEDEBUG, DISPLAY (unset with nodisplay: no window can be
# made in that session, as in a Windows session without a desktop).

wine_session_start() {
  local build=$1 name=${2:-test} arch=${3:-win32} display=${4:-}
  mkdir -p "$build/wine"
  export WINEARCH=$arch
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEPREFIX="$(cd "$build" && pwd)/wine/$name"
  local template="$(cd "$build" && pwd)/wine/template${arch#win}"

  # Our own X display: the first free number from 90 up.
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  WINE_SESSION_XVFB=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

  # Making a prefix costs about 10 s; a copy of a ready one about 3 s.
  if [ ! -f "$template/system.reg" ]; then
    rm -rf "$template"
    WINEPREFIX="$template" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    WINEPREFIX="$template" wineserver -w
  fi
  rm -rf "$WINEPREFIX"
  cp -a "$template" "$WINEPREFIX"
  # Wine ships the bitmap "MS Sans Serif" but a fresh prefix does not load it; without it the
  # window font falls back to a wider face and the main window's bold captions are cut off.
  cp /usr/share/wine/fonts/sserife.fon "$WINEPREFIX/drive_c/windows/Fonts/"
  if [ "$display" = nodisplay ]; then
    unset DISPLAY
    kill "$WINE_SESSION_XVFB" >/dev/null 2>&1 || true
    wait "$WINE_SESSION_XVFB" 2>/dev/null || true
    WINE_SESSION_XVFB=
  fi
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 || true
}

wine_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${WINE_SESSION_XVFB:-}" ] && kill "$WINE_SESSION_XVFB" >/dev/null 2>&1 || true
  wait "${WINE_SESSION_XVFB:-}" 2>/dev/null || true
}

# Linux path to the Windows form that Wine gives it (drive Z:).
wine_path() { printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr / '\\'; }
