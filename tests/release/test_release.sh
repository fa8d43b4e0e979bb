#!/usr/bin/env bash
# Makes a release folder from fixture packages with a throwaway certificate, time-stamped by an authority
# on 127.0.0.1, and checks it as its receiver would: the sums with sha256sum -c, the signatures with
# osslsigncode verify and scripts/verify-release (which must refuse a changed, an unsigned and a
# foreign-signed file), the detection rule in the release notes, a DLL planted afterwards. The releases
# of 2.0.13000 and 2.0.14000, each with the Setup.exe scripts/release built for it: what they hand to the
# agents, and the zip, the same bytes for the same files. Two releases started together into one OUTDIR:
# one is refused, the other whole. Then the refusals: each must leave nothing behind.
set -euo pipefail
windows_build=$(cd "${1:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}" && pwd)
packages=$(cd "${2:?usage: test_release.sh WINDOWS_BUILD_DIR PACKAGES_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
newer=$(dirname "$packages")/2.0.14000
# Debian's python3-pefile, python3-jsonschema and python3-yaml; the winget schemas beside the project.
python=/usr/bin/python3
schemas=$root/../shared/winget-schemas
work=$(mktemp -d)
mkdir "$work/tsa"
python3 "$root/tests/signing/tsa_server.py" "$work/tsa" & tsa=$!
trap 'kill $tsa; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
release() {
  local out=$1
  shift
  bash "$root/scripts/release" "$out" --setup "$setup" --distcheck-exe "$windows_build/distcheck.exe" "$@"
}
refuse() {
  local what=$1
  shift
  if release "$work/new" "$@" >"$work/refused.log" 2>&1; then fail "$what was accepted"; fi
  for left in "$work/new" "$work/new.zip" "$work/new.zip.sha256" "$work/new.winget"; do
    [ ! -e "$left" ] || fail "refusing $what left $left behind"
  done
}
# OUTDIR exists as the test made it, and must stay so.
refuse_into() {
  local what=$1 out=$2
  if release "$out" --packages "$packages" >"$work/refused.log" 2>&1; then fail "$what was accepted"; fi
  [ -z "$(ls -A "$out")" ] || fail "refusing $what wrote into it"
}
verify_release() { bash "$root/scripts/verify-release" "$1" --ca "$work/cert.pem" --tsa-ca "$work/tsa/tsa.pem"; }

# Each release's Setup.exe, built by scripts/release with the release's version; later releases take it.
for version in 2.0.13000 2.0.14000; do
  bash "$root/scripts/release" "$work/r$version" --packages "$(dirname "$packages")/$version" \
    --distcheck-exe "$windows_build/distcheck.exe" --url "https://downloads.example.com/solvarn/$version.zip" \
    >"$work/r$version.log" 2>&1 || { cat "$work/r$version.log"; fail "the release of $version failed"; }
done
setup=$work/r2.0.13000/Setup.exe
bash "$root/tests/release/test_reproducible.sh" "$root/build/release" || fail "the release's Setup.exe is not reproducible"

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
grep -qx '  x64    Package tarvex-x64.msi' "$work/out/release-notes.txt" &&
  grep -qx '         ProductCode {50A1C0DE-2013-4000-8000-000000000064}' "$work/out/release-notes.txt" ||
  fail "the release notes lack the installed products"
grep -qxF '  file     %ProgramFiles%\Solvarn\Browser plug-in\plugvex.dll' "$work/out/release-notes.txt" &&
  grep -qxF '  version  2.0.13000.0 or later (greater than or equal)' "$work/out/release-notes.txt" ||
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
# Unsigned, of the same files: the same zip, whatever the folder's name, its time and its files' times.
cmp "$work/dashed.zip" "$work/r2.0.13000.zip" || fail "two releases of the same files give two zips"

# What the agents get: each Setup.exe carries its release's version; the Intune definitions are equal
# but for it; the zip holds the folder and nothing else, and the winget manifests of it are valid.
"$python" - "$work" "$schemas" r2.0.13000:2.0.13000 r2.0.14000:2.0.14000 out:2.0.13000 <<'PY' || exit 1
import hashlib, json, sys, zipfile
from pathlib import Path
import jsonschema, pefile, yaml

work, schemas = Path(sys.argv[1]), Path(sys.argv[2])
products = {("2.0.13000", "x64"): "{50A1C0DE-2013-4000-8000-000000000064}",
            ("2.0.13000", "x86"): "{50A1C0DE-2013-4000-8000-000000000032}",
            ("2.0.14000", "x64"): "{50A1C0DE-2014-4000-8000-000000000064}",
            ("2.0.14000", "x86"): "{50A1C0DE-2014-4000-8000-000000000032}"}
intune = {}

def check(what, ok):
    if not ok:
        sys.exit(f"FAIL: {what}")

for name, version in (argument.split(":") for argument in sys.argv[3:]):
    folder = work / name
    image = pefile.PE(str(folder / "Setup.exe"))
    fixed = image.VS_FIXEDFILEINFO[0]
    a, b, c = map(int, version.split("."))
    strings = {k.decode(): v.decode() for info in image.FileInfo[0] for table in getattr(info, "StringTable", [])
               for k, v in table.entries.items()}
    check(f"{name}/Setup.exe carries version {version}",
          (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS) ==
          (a << 16 | b, c << 16, a << 16 | b, c << 16) and strings["FileVersion"] == strings["ProductVersion"] == version)
    intune[name] = (folder / "intune-win32app.json").read_text(encoding="utf-8")
    archive = folder.with_name(name + ".zip")
    digest = hashlib.sha256(archive.read_bytes()).hexdigest()
    check(f"{name}.zip.sha256", folder.with_name(name + ".zip.sha256").read_text() == f"{digest}  {name}.zip\n")
    files = sorted((p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file()), key=str.encode)
    with zipfile.ZipFile(archive) as z:
        entries = [i for i in z.infolist() if not i.is_dir()]
        check(f"{name}.zip holds the folder's files in byte order",
              [i.filename for i in entries] == files and all(z.read(i) == (folder / i.filename).read_bytes() for i in entries))
        check(f"{name}.zip's times and modes are fixed",
              {(i.date_time, i.external_attr >> 16) for i in entries} == {((1980, 1, 1, 0, 0, 0), 0o100644)})
    manifests = {}
    for path in (folder.with_name(name + ".winget")).iterdir():
        manifest = yaml.safe_load(path.read_text(encoding="utf-8"))
        schema = json.loads((schemas / f"manifest.{manifest['ManifestType']}.1.12.0.json").read_text(encoding="utf-8"))
        jsonschema.validate(manifest, schema)
        manifests[manifest["ManifestType"]] = manifest
    check(f"{name}: three winget manifests", sorted(manifests) == ["defaultLocale", "installer", "version"])
    installer = manifests["installer"]
    check(f"{name}: the installer is the zip's Setup.exe",
          installer["NestedInstallerFiles"] == [{"RelativeFilePath": "Setup.exe"}] and "Setup.exe" in files and
          {i["InstallerSha256"].lower() for i in installer["Installers"]} == {digest})
    check(f"{name}: each platform's product",
          {i["Architecture"]: [e["ProductCode"] for e in i["AppsAndFeaturesEntries"]] for i in installer["Installers"]} ==
          {arch: [products[version, arch]] for arch in ("x86", "x64")})
    check(f"{name}: {version} throughout", {m["PackageVersion"] for m in manifests.values()} == {version})
check("the Intune definitions of two releases are equal but for the version",
      intune["r2.0.13000"].replace("2.0.13000", "V") == intune["r2.0.14000"].replace("2.0.14000", "V") != intune["r2.0.13000"]
      and intune["out"] == intune["r2.0.13000"])
[rule] = json.loads(intune["r2.0.13000"])["rules"]
check("the rule: the plug-in DLL's version in the 64-bit Program Files",
      (rule["path"], rule["fileOrFolderName"], rule["comparisonValue"], rule["check32BitOn64System"]) ==
      ("%ProgramFiles%\\Solvarn\\Browser plug-in", "plugvex.dll", "2.0.13000.0", False))
PY

# Two releases of two versions started together into one OUTDIR: one is refused, the other is whole.
release "$work/race" --packages "$packages" >"$work/race1.log" 2>&1 & first=$!
release "$work/race" --packages "$newer" --setup "$work/r2.0.14000/Setup.exe" >"$work/race2.log" 2>&1 & second=$!
wait $first && results=ready || results=refused
wait $second && results+=" ready" || results+=" refused"
[[ $results == "ready refused" || $results == "refused ready" ]] ||
  { cat "$work"/race*.log; fail "two releases into one folder: $results"; }
(cd "$work/race" && sha256sum --strict --quiet -c SHA256SUMS) || fail "the release that won does not match its SHA256SUMS"
[ "$(wc -l <"$work/race/SHA256SUMS")" -eq 11 ] || fail "the release that won is not whole, or holds more"
(cd "$work" && sha256sum --strict --quiet -c race.zip.sha256) || fail "the zip beside the release that won is not its own"
"$python" -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("tarvex-x64.msi"))' \
  "$work/race.zip" | cmp -s - "$work/race/tarvex-x64.msi" || fail "the zip is of the other release"
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
refuse "packages of two versions" --packages "$packages/tarvex-x64.msi" "$newer/tarvex-win32.msi"
grep -q 'more than one version' "$work/refused.log" || fail "the two versions went unsaid"
refuse "the Setup.exe of another release" --packages "$packages" --setup "$work/r2.0.14000/Setup.exe"
grep -q 'not of release 2.0.13000' "$work/refused.log" || fail "the Setup.exe's version went unsaid"
mkdir "$work/lagging"
for package in "$packages"/*.msi; do
  cp "$package" "$work/lagging/"
  msibuild "$work/lagging/$(basename "$package")" -q "UPDATE \`File\` SET \`Version\` = '2.0.12000.0' WHERE \`File\` = 'PluginFile'"
done
refuse "a plug-in version behind the product's" --packages "$work/lagging"
grep -q 'does not follow the product' "$work/refused.log" || fail "the lagging plug-in version went unsaid"
refuse "a URL that is not http" --packages "$packages" --url ftp://example.com/r.zip
: >"$work/new.zip"
if release "$work/new" --packages "$packages" >"$work/refused.log" 2>&1; then fail "an existing OUTDIR.zip was accepted"; fi
[ ! -e "$work/new" ] && [ ! -s "$work/new.zip" ] || fail "refusing an existing OUTDIR.zip wrote a release"
rm "$work/new.zip"
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
