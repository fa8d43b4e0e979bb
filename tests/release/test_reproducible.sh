#!/usr/bin/env bash
# Builds Setup.exe a second time, from a copy of the sources in another folder, and compares it byte
# for byte with the Setup.exe of the given Windows build: the shipped program must depend only on the
# sources and the tools, not on when or where it was built.
set -euo pipefail
windows_build=${1:?usage: test_reproducible.sh WINDOWS_BUILD_DIR}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files a build in the working tree sees (tracked or not ignored, as they are now, not as in
# HEAD), so that an uncommitted change is in both builds; a deleted tracked file is skipped.
mkdir "$work/source"
git -C "$root" ls-files -z --cached --others --exclude-standard |
  tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$work/source" -xf -

# Same generator, toolchain, build type and release version as the given build (scripts/build's, or
# scripts/release's build/release); only the Setup target.
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$windows_build/CMakeCache.txt")
release_version=$(sed -n 's/^SETUP_RELEASE_VERSION:[A-Z]*=//p' "$windows_build/CMakeCache.txt")
cmake -S "$work/source" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/source/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE="$build_type" -DSETUP_RELEASE_VERSION="$release_version" >/dev/null
cmake --build "$work/build" --target Setup >/dev/null

reference=$windows_build/Setup.exe
# A build configured to sign (SETUP_SIGN_CERT) is compared without its signature, which osslsigncode
# removes exactly; an unsigned program makes remove-signature fail and is compared as it is.
if osslsigncode remove-signature -in "$reference" -out "$work/unsigned.exe" >/dev/null 2>&1; then
  reference=$work/unsigned.exe
fi
if ! cmp -s "$reference" "$work/build/Setup.exe"; then
  echo "FAIL: $windows_build/Setup.exe and a second build in another folder differ"
  echo "(if the sources changed since $windows_build was built, rebuild it first). First differences:"
  cmp -l "$reference" "$work/build/Setup.exe" 2>&1 | head -n 16 |
    awk '$1 ~ /^[0-9]+$/ { printf "  offset 0x%x: %s, then %s (octal)\n", $1 - 1, $2, $3; next } { print "  " $0 }' || true
  diff <(i686-w64-mingw32-objdump -p "$reference" | tail -n +3) \
       <(i686-w64-mingw32-objdump -p "$work/build/Setup.exe" | tail -n +3) || true
  exit 1
fi
echo "1 passed, 0 failed"
