#!/usr/bin/env bash
# Signs both executables with a throw-away certificate, as `make sign` does, and checks the
# signatures: each verifies against that certificate, and a copy with one byte changed
# (in the code, in the version resource, in the header) does not.
set -uo pipefail
build=$1
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmora Cleaner test signer" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || { echo "FAIL: no certificate"; exit 1; }
bash scripts/sign.sh "$build" "$work/signed" "$work/cert.pem" "$work/key.pem" || { echo "FAIL: signing"; exit 1; }

status=0
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
for exe in Cleaner.exe RuleTool.exe; do
  signed=$work/signed/$exe
  if verify "$signed" && grep -q "Signature verification: ok" "$work/verify.log"; then
    echo "ok: $exe verifies"
  else
    echo "FAIL: $exe does not verify"; cat "$work/verify.log"; status=1
  fi
  cmp -s "$build/$exe" "$signed" && { echo "FAIL: $exe was not changed by signing"; status=1; }
  # Byte offsets: the middle of the file (code), the resource section's last bytes before the
  # signature, and the image's time stamp field in the header.
  size=$(stat -c %s "$build/$exe")
  pe=$(od -An -tu4 -j 60 -N 4 "$signed" | tr -d ' ')
  for offset in $((size / 2)) $((size - 16)) $((pe + 8)); do
    cp "$signed" "$work/changed.exe"
    byte=$(od -An -tu1 -j "$offset" -N 1 "$work/changed.exe" | tr -d ' ')
    printf "$(printf '\\%03o' $(( (byte + 1) % 256 )))" |
      dd of="$work/changed.exe" bs=1 seek="$offset" conv=notrunc status=none
    if verify "$work/changed.exe"; then
      echo "FAIL: $exe with byte $offset changed still verifies"; status=1
    else
      echo "ok: $exe with byte $offset changed does not verify"
    fi
  done
done
exit $status
