#!/usr/bin/env bash
# Signs Cleaner.exe and RuleTool.exe (Authenticode, SHA-256) with a certificate and its key.
# The signed copies go to OUT_DIR; the built files stay unsigned, so that two builds of one
# commit still compare equal. A time-stamp server keeps a signature valid after the
# certificate expires; without one it is valid as long as the certificate is.
# usage: scripts/sign.sh WIN_BUILD_DIR OUT_DIR CERT KEY [TIMESTAMP_URL]
# SIGN_PASS_FILE, when set, names a file holding the key's password.
set -euo pipefail
if [ $# -lt 4 ] || [ -z "$3" ] || [ -z "$4" ]; then
  echo "usage: make sign SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_TIMESTAMP=URL]" >&2
  exit 2
fi
from=$1 to=$2 cert=$3 key=$4 url=${5:-}
for file in "$cert" "$key"; do
  [ -r "$file" ] || { echo "sign: cannot read $file" >&2; exit 2; }
done
mkdir -p "$to"
for exe in Cleaner.exe RuleTool.exe; do
  args=(sign -certs "$cert" -key "$key" -h sha256 -n "Velmora Cleaner" -in "$from/$exe" -out "$to/$exe.part")
  [ -z "$url" ] || args+=(-ts "$url")
  [ -z "${SIGN_PASS_FILE:-}" ] || args+=(-readpass "$SIGN_PASS_FILE")
  rm -f "$to/$exe.part"
  if ! osslsigncode "${args[@]}" >"$to/$exe.log" 2>&1; then
    cat "$to/$exe.log" >&2
    rm -f "$to/$exe.part" "$to/$exe.log"
    exit 1
  fi
  rm -f "$to/$exe.log"
  mv -f "$to/$exe.part" "$to/$exe"
  echo "signed: $to/$exe"
done
