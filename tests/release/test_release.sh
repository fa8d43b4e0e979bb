#!/usr/bin/env bash
# Makes a release folder from fixture packages with a throwaway certificate, time-stamped by an authority
# on 127.0.0.1, and checks it as its receiver would: the sums with sha256sum -c, the signatures with
# osslsigncode verify and scripts/verify-release (which must refuse a changed, an unsigned and a
# foreign-signed file), the detection rule in the release notes, a DLL planted afterwards. Two releases
# started together into one OUTDIR: one is refused, the other whole. Then the refusals: each must leave
# nothing behind.
set -euo pipefail
windows_build=$(cd "${1:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}" && pwd)
packages=$(cd "${2:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
mkdir "$work/tsa"
python3 "$root/tests/signing/tsa_server.py" "$work/tsa" & tsa=$!
trap 'kill $tsa; rm -rf "$work"' EXIT
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
# OUTDIR exists as the test made it, and must stay so.
refuse_into() {
  local what=$1 out=$2
  if release "$out" --packages "$packages" >"$work/refused.log" 2>&1; then fail "$what was accepted"; fi
  [ -z "$(ls -A "$out")" ] || fail "refusing $what wrote into it"
}
verify_release() { bash "$root/scripts/verify-release" "$1" --ca "$work/cert.pem" --tsa-ca "$work/tsa/tsa.pem"; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Solvarn throwaway signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
for provider in csp ucsp; do
  mkdir -p "$work/$provider/data"
  cp "$windows_build/programs/nested_setup.exe" "$work/$provider/Setup.exe"
  # The providers' vendors sign their setups; here the same throwaway certificate stands in for them.
  bash "$root/scripts/sign" "$work/cert.pem" "$work/key.pem" "$work/$provider/Setup.exe" >/dev/null 2>&1
  echo "$provider" >"$work/$provider/data/setup.ini"
done
for _ in {1..100}; do [ ! -f "$work/tsa/url" ] || break; sleep 0.1; done
mkdir "$work/csp/.git"
: >"$work/csp/.git/HEAD"
release "$work/out" --packages "$packages" --csp "$work/csp" --ucsp "$work/ucsp" \
  --sign "$work/cert.pem" "$work/key.pem" --timestamp "$(cat "$work/tsa/url")" --sign-packages | tee "$work/out.log"
[ ! -e "$work/out/csp/.git" ] || fail "the provider's .git was shipped"
grep -qx 'release: left out of csp (version control): .git' "$work/out.log" || fail "leaving .git out went unsaid"

(cd "$work/out" && sha256sum --strict --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(wc -l <"$work/out/SHA256SUMS")" -eq "$(find "$work/out" -type f ! -name SHA256SUMS ! -name SHA256SUMS.p7s | wc -l)" ] ||
  fail "SHA256SUMS does not list every file"
grep -q '  tools/distcheck\.exe$' "$work/out/SHA256SUMS" || fail "tools/distcheck.exe is not in the sums"
# The signature beside SHA256SUMS is the release's own, not a file added after it.
bash "$root/scripts/distcheck" --signer "$work/cert.pem" "$work/out" >"$work/check.log" ||
  { cat "$work/check.log"; fail "distcheck --signer finds the signed release not sound"; }
for file in Setup.exe tools/distcheck.exe tarvex-x64.msi; do
  echo "osslsigncode verify $file:"
  osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa/tsa.pem" -in "$work/out/$file" |
    grep -E '^(Signature Index|Message digest algorithm  |\sTimestamp time|Timestamp Server Signature verification|Signature verification|Number of verified)'
done
verify_release "$work/out" >"$work/verify.log" || { cat "$work/verify.log"; fail "verify-release did not find the release sound"; }
grep -q "^  SHA-1    $(openssl x509 -in "$work/cert.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')\$" \
  "$work/out/release-notes.txt" || fail "the release notes do not name the signer's thumbprint"
# A changed, an unsigned and a foreign-signed file, each in a copy of the release.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Someone else" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/other-key.pem" -out "$work/other.pem" 2>/dev/null
cat "$work/cert.pem" "$work/other.pem" >"$work/both.pem"
for fault in changed unsigned foreign; do
  cp -R "$work/out" "$work/$fault"
done
printf '\x00' | dd of="$work/changed/Setup.exe" bs=1 seek=1024 conv=notrunc 2>/dev/null
cp "$packages/tarvex-x64.msi" "$work/unsigned/"
bash "$root/scripts/sign" --timestamp "$(cat "$work/tsa/url")" "$work/other.pem" "$work/other-key.pem" \
  "$work/foreign/tools/distcheck.exe" >/dev/null
# copy:what verify-release says|what distcheck --signer says
for fault in 'changed:Setup.exe: its signature does not verify|Setup.exe: its signature does not verify' \
             'unsigned:tarvex-x64.msi is not signed|tarvex-x64.msi is not signed (--signer)' \
             'foreign:tools/distcheck.exe is signed by someone else|tools\distcheck.exe is signed by CN=Someone else'; do
  copy=${fault%%:*} expected=${fault#*|}
  fault=${fault%|*}
  if bash "$root/scripts/distcheck" --signer "$work/cert.pem" "$work/$copy" >"$work/$copy.check"; then
    fail "distcheck --signer found the $copy copy sound"
  fi
  grep -qF "problem: $expected" "$work/$copy.check" || { cat "$work/$copy.check"; fail "distcheck names not the $copy file"; }
  if bash "$root/scripts/verify-release" "$work/$copy" --ca "$work/both.pem" --tsa-ca "$work/tsa/tsa.pem" \
       --signer "$work/cert.pem" >"$work/$copy.log"; then
    fail "verify-release found the $copy copy sound"
  fi
  grep -q "^problem: ${fault#*:}" "$work/$copy.log" || { cat "$work/$copy.log"; fail "no problem names the $copy file"; }
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

# Two releases of two versions started together into one OUTDIR: one is refused, the other is whole.
newer=$(dirname "$packages")/2.0.14000
release "$work/race" --packages "$packages" >"$work/race1.log" 2>&1 & first=$!
release "$work/race" --packages "$newer" >"$work/race2.log" 2>&1 & second=$!
wait $first && results=ready || results=refused
wait $second && results+=" ready" || results+=" refused"
[[ $results == "ready refused" || $results == "refused ready" ]] ||
  { cat "$work"/race*.log; fail "two releases into one folder: $results"; }
(cd "$work/race" && sha256sum --strict --quiet -c SHA256SUMS) || fail "the release that won does not match its SHA256SUMS"
[ "$(wc -l <"$work/race/SHA256SUMS")" -eq 9 ] || fail "the release that won is not whole, or holds more"
version=$(sed -n 's/^ *ProductVersion //p' "$work/race/release-notes.txt" | sort -u)
[ "$(ls "$work/race"/*.msi | wc -l)" -eq 6 ] && [ "$(wc -l <<<"$version")" -eq 1 ] &&
  cmp -s "$work/race/tarvex-x64.msi" "$(dirname "$packages")/$version/tarvex-x64.msi" ||
  fail "the folder mixes releases, or its notes name another"
grep -h 'race is ready\|race was made meanwhile' "$work"/race*.log

if release "$work/out" --packages "$packages" >/dev/null 2>&1; then fail "a non-empty folder was written into"; fi
mkdir "$work/empty" "$work/theirs" "$work/open" "$work/shared"
refuse_into "an existing empty folder" "$work/empty"
ln -s "$work/empty" "$work/link"
refuse_into "a link as OUTDIR" "$work/link"
chown 65534 "$work/theirs" 2>/dev/null || chown "$(id -u)" "$work/theirs"
[ "$(stat -c %u "$work/theirs")" = "$(id -u)" ] || refuse_into "someone else's folder" "$work/theirs"
chmod o+w "$work/open"
refuse_into "a folder others may write to" "$work/open"
chmod g+w "$work/shared"
if release "$work/shared/new" --packages "$packages" >/dev/null 2>&1; then fail "a parent others may write in was accepted"; fi
[ -z "$(ls -A "$work/shared")" ] || fail "refusing a parent others may write in left something in it"
refuse "signing without a time stamp" --packages "$packages" --sign "$work/cert.pem" "$work/key.pem"
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
refuse "a Linux program as distcheck.exe" --packages "$packages" --distcheck-exe /bin/true
refuse "a text file as distcheck.exe" --packages "$packages" --distcheck-exe "$root/README.md"
refuse "Setup.exe as distcheck.exe" --packages "$packages" --distcheck-exe "$windows_build/Setup.exe"
refuse "another console program as distcheck.exe" --packages "$packages" --distcheck-exe "$windows_build/boxdriver.exe"
echo "1 passed, 0 failed"
