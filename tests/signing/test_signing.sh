#!/usr/bin/env bash
# Signs a copy of Setup.exe with a throwaway self-signed code-signing certificate and checks the
# signature with osslsigncode's verify, against that certificate as the only trusted root.
set -euo pipefail
setup_exe=${1:?usage: test_signing.sh SETUP_EXE}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Solvarn throwaway signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
cp "$setup_exe" "$work/Setup.exe"

if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/Setup.exe" >/dev/null 2>&1; then
  echo "FAIL: the unsigned program verified"; exit 1
fi
bash "$root/scripts/sign" "$work/cert.pem" "$work/key.pem" "$work/Setup.exe"
report=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/Setup.exe" 2>&1) || {
  echo "$report"; echo "FAIL: the signed program did not verify"; exit 1; }
grep -q "Signature verification: ok" <<<"$report" || { echo "$report"; echo "FAIL: no verified signature"; exit 1; }
grep -q "Solvarn throwaway signing" <<<"$report" || { echo "$report"; echo "FAIL: signed by someone else"; exit 1; }

# A changed byte after signing must break the signature.
printf '\x00' | dd of="$work/Setup.exe" bs=1 seek=1024 conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/Setup.exe" >/dev/null 2>&1; then
  echo "FAIL: a tampered program still verified"; exit 1
fi
echo "1 passed, 0 failed"
