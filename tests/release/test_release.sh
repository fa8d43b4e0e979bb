#!/usr/bin/env bash
# Makes a release folder from fixture packages with a throwaway certificate and checks it as its
# receiver would: the sums with sha256sum -c, the signatures with osslsigncode verify, the detection rule
# in the release notes, a DLL planted afterwards. Then the refusals: each must leave nothing behind.
set -euo pipefail
windows_build=$(cd "${1:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}" && pwd)
packages=$(cd "${2:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
release() {
  local out=$1
  shift
  bash "$root/scripts/release" "$out" --setup "$windows_build/Setup.exe" --distcheck-exe "$windows_build/distcheck.exe" "$@"
}
refuse() {
  local what=$1
  shift
  if release "$work/new" "$@" >"$work/refused.log" 2>&1; then fail "$what was accepted"; fi
  [ ! -e "$work/new" ] || fail "refusing $what left $work/new behind"
}

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
grep -q '  tools/distcheck\.exe$' "$work/out/SHA256SUMS" || fail "tools/distcheck.exe is not in the sums"
for program in Setup.exe tools/distcheck.exe; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$work/out/$program" | grep -q "Signature verification: ok" ||
    fail "$program is not signed"
done
grep -qx '  x64    ProductCode {50A1C0DE-2013-4000-8000-000000000064}' "$work/out/release-notes.txt" ||
  fail "the release notes lack the detection rule"

# A DLL planted after the release passes sha256sum --strict, but not the distribution check.
cp -R "$work/out" "$work/planted"
: >"$work/planted/version.dll"
(cd "$work/planted" && sha256sum --strict --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the copy"
if bash "$root/scripts/distcheck" "$work/planted" >"$work/planted.log"; then fail "the planted DLL went unseen"; fi
grep -q '^problem: version\.dll is not listed in SHA256SUMS' "$work/planted.log" || fail "no problem names version.dll"

# A package folder whose path starts with "-" is a path, not an option.
mkdir "$work/-packages"
cp "$packages"/*.msi "$work/-packages/"
(cd "$work" && release dashed --packages -packages >/dev/null) || fail "a package folder named -packages was refused"
[ -f "$work/dashed/SHA256SUMS" ] || fail "the release from -packages is not finished"

if release "$work/out" --packages "$packages" >/dev/null 2>&1; then fail "a non-empty folder was written into"; fi
refuse "a missing package" --packages "$packages/none.msi"
refuse "a provider folder without Setup.exe" --packages "$packages" --csp "$work/csp/data"
refuse "one platform only" --packages "$packages/tarvex-x64.msi" "$packages/rus-tarvex-x64.msi"
mkdir -p "$work/mixed/tarvex-x64 old.msi"
cp "$packages"/*.msi "$work/mixed/"
refuse "a folder named like a package" --packages "$work/mixed"
cp "$packages/tarvex-x64.msi" "$work/mixed/TARVEX-X64.MSI"
rmdir "$work/mixed/tarvex-x64 old.msi"
refuse "two packages of one name but for case" --packages "$work/mixed"
cp -R "$work/csp" "$work/linked"
ln -s "$work/csp/data/setup.ini" "$work/linked/setup.ini"
refuse "a link in a provider folder" --packages "$packages" --csp "$work/linked"
refuse "a README as Setup.exe" --packages "$packages" --setup "$root/README.md"
python3 - "$windows_build/Setup.exe" "$work/Setup64.exe" <<'PY'
import struct, sys
image = bytearray(open(sys.argv[1], "rb").read())
struct.pack_into("<H", image, struct.unpack_from("<I", image, 0x3C)[0] + 4, 0x8664)  # IMAGE_FILE_MACHINE_AMD64
open(sys.argv[2], "wb").write(image)
PY
refuse "a 64-bit program as Setup.exe" --packages "$packages" --setup "$work/Setup64.exe"
refuse "a console program as Setup.exe" --packages "$packages" --setup "$windows_build/distcheck.exe"
echo "1 passed, 0 failed"
