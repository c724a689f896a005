#!/usr/bin/env bash
# Checks what an installation gives a user: builds the Release programs and
# the Debian package (tools/package.sh, in build-install), installs into a
# temporary prefix and checks that
#   - keldro (through its link), keldro-mfi and keldro-batch convert as the
#     programs of the build folder do, byte for byte, and find their settings;
#   - reinstalling keeps saved settings, and a user who cannot write them
#     still converts (when run as root, with setpriv as user nobody);
#   - both manual pages render without a warning; the completion completes;
#   - a C program builds with find_package(keldro) and with pkg-config and
#     converts as keldro does;
#   - the .deb holds the files in their places, its programs work, and
#     lintian reports no error.
# Installs what it needs with apt-get when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=build-install

need=()
command -v gcc >/dev/null || need+=(gcc)
command -v man >/dev/null || need+=(man-db)
command -v lintian >/dev/null || need+=(lintian)
command -v pkg-config >/dev/null || need+=(pkgconf)
[ -f /usr/share/bash-completion/bash_completion ] || need+=(bash-completion)
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

deb=$(bash tools/package.sh "$build" | tail -1)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"  # other users run the installed programs too
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
same() {  # same FILE1 FILE2 WHAT
  if cmp -s "$1" "$2"; then ok "$3"; else fail "$3 ($1 and $2 differ)"; fi
}

# ---- The programs: installed against the build folder's. ----
# keldro of the build folder in each mode (a copy beside an MFi settings file).
mkdir -p "$tmp/ref/mfi" "$tmp/out"
cp "$build/keldro" "$tmp/ref/mfi/keldro"
printf '[SETTING]\nTARGET_FILE=1\n' >"$tmp/ref/mfi/KELDRO.ini"
tavi=examples/vq7_chorus.mmf
mfi=examples/mfi40_pulse.mld
"$build/keldro" -i "$tavi" -o "$tmp/ref/tavi.mmf" -db -3 -e >/dev/null 2>&1
"$tmp/ref/mfi/keldro" -i "$mfi" -o "$tmp/ref/mfi.mld" -db -3 -e >/dev/null 2>&1
"$build/keldro" -i examples/vq2_bell.mmf -o "$tmp/ref/bell.mmf" -db -3 >/dev/null 2>&1

[ "$(readlink "$prefix/bin/keldro")" = ../libexec/keldro/keldro ] && ok "bin/keldro is a relative link" ||
  fail "bin/keldro is not the link ../libexec/keldro/keldro"
"$prefix/bin/keldro" -i "$tavi" -o "$tmp/out/tavi.mmf" -db -3 -e >"$tmp/status" 2>&1 || true
same "$tmp/ref/tavi.mmf" "$tmp/out/tavi.mmf" "installed keldro converts a TAVI file as the build's keldro"
"$prefix/bin/keldro-mfi" -i "$mfi" -o "$tmp/out/mfi.mld" -db -3 -e >/dev/null 2>&1 || true
same "$tmp/ref/mfi.mld" "$tmp/out/mfi.mld" "installed keldro-mfi converts an MFi file as the build's keldro in MFi mode"
# The settings were found through the links, and saved there.
for mode in keldro keldro-mfi; do
  grep -qx 'DB_VALUE=-3.0' "$prefix/libexec/$mode/KELDRO.ini" && ok "$mode saved its settings beside its executable" ||
    fail "$mode did not save DB_VALUE=-3.0 in libexec/$mode/KELDRO.ini"
done

"$build/keldro-batch" --db -3 --out "$tmp/ref/batch" examples >/dev/null 2>&1
"$prefix/bin/keldro-batch" --db -3 --out "$tmp/out/batch" examples >/dev/null 2>&1 || true
if diff -r -x KELDRO_result.txt "$tmp/ref/batch" "$tmp/out/batch" >/dev/null; then
  ok "installed keldro-batch converts the examples as the build's keldro-batch"
else
  fail "installed keldro-batch's outputs differ from the build's"
fi

# Reinstalling keeps the saved settings.
cmake --install "$build" --prefix "$prefix" >/dev/null
for mode in keldro keldro-mfi; do
  grep -qx 'DB_VALUE=-3.0' "$prefix/libexec/$mode/KELDRO.ini" && ok "reinstalling kept $mode's settings" ||
    fail "reinstalling replaced libexec/$mode/KELDRO.ini"
done

# A user who cannot write the settings file (system-wide install) converts as
# usual and leaves it untouched.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  mkdir -m 777 "$tmp/user"
  cp "$prefix/libexec/keldro/KELDRO.ini" "$tmp/ini-before"
  (cd "$tmp/user" && setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$prefix/bin/keldro" -i "$src/$tavi" -o out.mmf -db 2 >/dev/null 2>&1) || true
  "$build/keldro" -i "$tavi" -o "$tmp/ref/tavi2.mmf" -db 2 >/dev/null 2>&1
  same "$tmp/ref/tavi2.mmf" "$tmp/user/out.mmf" "a user who cannot write the settings still converts"
  same "$tmp/ini-before" "$prefix/libexec/keldro/KELDRO.ini" "that user's run left the settings file as it was"
  leftovers=$(find "$prefix/libexec" -name '.*' | wc -l)
  [ "$leftovers" = 0 ] && ok "nothing left behind in libexec" || fail "temporary files left in libexec"
else
  echo "skipped: the run as another user needs root and setpriv"
fi

# ---- Manual pages and completion. ----
for page in keldro keldro-batch keldro-mfi; do
  warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] && ok "man $page renders without warnings" || fail "man $page: $warnings"
done

mkdir -p "$tmp/compl/songs" && touch "$tmp/compl/a.mmf" "$tmp/compl/b.MLD" "$tmp/compl/c.txt"
completions() {  # the completions of a command line, the cursor at its end
  (cd "$tmp/compl" && bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    COMP_LINE=$2 COMP_POINT=${#2}
    read -ra COMP_WORDS <<<"$2"; [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _keldro_batch keldro-batch "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd" "' _ "$prefix/share/bash-completion/completions/keldro-batch" "$1")
}
while IFS='|' read -r line expected; do
  got=$(completions "$line")
  [ "$got" = "$expected" ] && ok "completion of '$line'" || fail "completion of '$line': '$got', not '$expected'"
done <<'EOF'
keldro-batch --no|--normalize
keldro-batch --c1|--c1 --c10 --c11 --c12 --c13 --c14 --c15 --c16
keldro-batch --db -3 |a.mmf b.MLD songs
keldro-batch --out |songs
keldro-batch --jobs |
keldro-batch -- --|
EOF

# ---- The library, from another program. ----
cmake -S tests/install -B "$tmp/find_package" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$tmp/find_package" >/dev/null
"$tmp/find_package/convert" examples/vq2_bell.mmf "$tmp/out/find_package.mmf" 2>/dev/null || true
same "$tmp/ref/bell.mmf" "$tmp/out/find_package.mmf" "a C program built with find_package(keldro) converts as keldro"
pc_dir=$(dirname "$(find "$prefix" -name keldro.pc)")
# shellcheck disable=SC2046  # the flags are words
gcc -o "$tmp/pkg_config_convert" tests/install/convert.c $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs keldro)
"$tmp/pkg_config_convert" examples/vq2_bell.mmf "$tmp/out/pkg_config.mmf" 2>/dev/null || true
same "$tmp/ref/bell.mmf" "$tmp/out/pkg_config.mmf" "a C program built with pkg-config converts as keldro"
echo '#include "conversion/ByteConversion.h"' >"$tmp/uses_headers.cpp"
g++ -std=c++20 -fsyntax-only -I"$prefix/include/keldro" "$tmp/uses_headers.cpp" &&
  ok "the byte-level interface's installed headers are complete" || fail "installed headers are incomplete"

# ---- The Debian package. ----
dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}' >"$tmp/deb-files"
lib=./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
missing=0
for path in "./usr/bin/keldro -> ../libexec/keldro/keldro" "./usr/bin/keldro-mfi -> ../libexec/keldro-mfi/keldro-mfi" \
    ./usr/bin/keldro-batch ./usr/libexec/keldro/keldro ./usr/libexec/keldro/KELDRO.ini \
    ./usr/libexec/keldro-mfi/keldro-mfi ./usr/libexec/keldro-mfi/KELDRO.ini \
    ./usr/share/man/man1/keldro.1.gz ./usr/share/man/man1/keldro-batch.1.gz "./usr/share/man/man1/keldro-mfi.1.gz -> keldro.1.gz" \
    ./usr/share/bash-completion/completions/keldro-batch ./usr/share/doc/keldro/copyright \
    ./usr/include/keldro/conversion/CInterface.h ./usr/include/keldro/conversion/ByteConversion.h \
    "$lib/libkeldro_conversion.a" "$lib/libkeldro_platform.a" "$lib/pkgconfig/keldro.pc" \
    "$lib/cmake/keldro/keldroConfig.cmake"; do
  grep -qxF "$path" "$tmp/deb-files" || { fail "the package lacks $path"; missing=1; }
done
[ "$missing" = 0 ] && ok "the package holds the files in their places"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libstdc++6* && $depends == *libc6* ]] && ok "package dependencies: $depends" ||
  fail "package dependencies: '$depends'"
dpkg-deb -x "$deb" "$tmp/root"
"$tmp/root/usr/bin/keldro" -i "$tavi" -o "$tmp/out/deb.mmf" -db -3 -e >/dev/null 2>&1 || true
same "$tmp/ref/tavi.mmf" "$tmp/out/deb.mmf" "the package's keldro converts as the build's"
"$tmp/root/usr/bin/keldro-mfi" -i "$mfi" -o "$tmp/out/deb.mld" -db -3 -e >/dev/null 2>&1 || true
same "$tmp/ref/mfi.mld" "$tmp/out/deb.mld" "the package's keldro-mfi converts as the build's keldro in MFi mode"
if lintian --fail-on error "$deb" >"$tmp/lintian" 2>&1; then
  ok "lintian: no errors$(grep -c '^W:' "$tmp/lintian" | sed 's/^0$//; s/^[1-9].*/ (& warnings)/')"
else
  fail "lintian:"
  cat "$tmp/lintian"
fi

if [ "$failures" -gt 0 ]; then
  echo "install test: $failures failed"
  exit 1
fi
echo "install test: all passed"
