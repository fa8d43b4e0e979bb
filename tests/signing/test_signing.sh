#!/usr/bin/env bash
# Signs a copy of Setup.exe with a throwaway code-signing certificate, time-stamped by a time-stamping
# authority started on 127.0.0.1, and checks it with osslsigncode's verify against those certificates as
# the only trusted roots: a SHA-1 and a nested SHA-256 signature, each time-stamped; a changed byte breaks
# them; without them the program is byte for byte the one that was built.
set -euo pipefail
setup_exe=${1:?usage: test_signing.sh SETUP_EXE}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
mkdir "$work/tsa"
python3 "$root/tests/signing/tsa_server.py" "$work/tsa" & tsa=$!
trap 'kill $tsa; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
verify() { osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa/tsa.pem" -in "$work/Setup.exe"; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Solvarn throwaway signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
cp "$setup_exe" "$work/Setup.exe"
for _ in {1..100}; do [ ! -f "$work/tsa/url" ] || break; sleep 0.1; done

if verify >/dev/null 2>&1; then fail "the unsigned program verified"; fi
bash "$root/scripts/sign" "$work/cert.pem" "$work/key.pem" "$work/Setup.exe" 2>"$work/warning"
grep -q "no time stamp" "$work/warning" || fail "signing without a time stamp went without a warning"
bash "$root/scripts/sign" --timestamp "$(cat "$work/tsa/url")" "$work/cert.pem" "$work/key.pem" "$work/Setup.exe"
report=$(verify 2>&1) || { echo "$report"; fail "the signed program did not verify"; }
echo "$report"
[ "$(grep -c '^Signature verification: ok' <<<"$report")" -eq 2 ] || fail "not two verified signatures"
grep -q '^Message digest algorithm  : SHA1' <<<"$report" || fail "no SHA-1 signature"
grep -q '^Message digest algorithm  : SHA256' <<<"$report" || fail "no SHA-256 signature"
[ "$(grep -c '^Timestamp Server Signature verification: ok' <<<"$report")" -eq 2 ] ||
  fail "not both signatures time-stamped"
[ "$(grep -c 'Subject: /CN=Solvarn throwaway signing' <<<"$report")" -ge 2 ] || fail "signed by someone else"

# What the signatures cover is the program as built, nothing else.
osslsigncode remove-signature -in "$work/Setup.exe" -out "$work/unsigned.exe" >/dev/null
cmp "$setup_exe" "$work/unsigned.exe" || fail "without its signatures the program differs from the one built"

# A changed byte after signing must break the signature.
printf '\x00' | dd of="$work/Setup.exe" bs=1 seek=1024 conv=notrunc 2>/dev/null
if verify >/dev/null 2>&1; then fail "a tampered program still verified"; fi
echo "1 passed, 0 failed"
