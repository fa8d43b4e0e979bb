#!/usr/bin/env bash
# Makes a release folder from fixture packages with a throwaway certificate and checks it as its
# receiver would: the sums with sha256sum -c, the signature with osslsigncode verify. Then the
# refusals: each must leave nothing behind.
set -euo pipefail
windows_build=${1:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}
packages=${2:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
release() { bash "$root/scripts/release" "$@" --setup "$windows_build/Setup.exe"; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Solvarn throwaway signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
for provider in csp ucsp; do
  mkdir -p "$work/$provider/data"
  cp "$windows_build/programs/nested_setup.exe" "$work/$provider/Setup.exe"
  echo "$provider" >"$work/$provider/data/setup.ini"
done
release "$work/out" --packages "$packages" --csp "$work/csp" --ucsp "$work/ucsp" \
  --sign "$work/cert.pem" "$work/key.pem"

(cd "$work/out" && sha256sum --strict --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(wc -l <"$work/out/SHA256SUMS")" -eq "$(find "$work/out" -type f ! -name SHA256SUMS | wc -l)" ] ||
  fail "SHA256SUMS does not list every file"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/out/Setup.exe" | grep -q "Signature verification: ok" ||
  fail "Setup.exe is not signed"

release "$work/out" --packages "$packages" >/dev/null 2>&1 && fail "a non-empty folder was written into"
release "$work/new" --packages "$packages/none.msi" >/dev/null 2>&1 && fail "a missing package was accepted"
release "$work/new" --packages "$packages" --csp "$work/csp/data" >/dev/null 2>&1 &&
  fail "a provider folder without Setup.exe was accepted"
[ ! -e "$work/new" ] || fail "a refused release left $work/new behind"
echo "1 passed, 0 failed"
