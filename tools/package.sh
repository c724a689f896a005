#!/usr/bin/env bash
# Builds the Debian package: a Release build (with Debian's hardening flags)
# in BUILD_DIR (default build-package), packed by `cpack -G DEB` into
# BUILD_DIR/keldro_<version>_<arch>.deb, whose path is the last line printed.
# Usage: tools/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
# The folders the install step creates take their mode from the umask; a
# package's are 0755.
umask 022
build=${1:-build-package}
bash tools/deps.sh
# dpkg-shlibdeps (dpkg-dev) finds the package's dependencies; dpkg-buildflags too.
if ! command -v dpkg-shlibdeps >/dev/null || ! command -v dpkg-buildflags >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends dpkg-dev
fi
# Debian's compiler and linker flags with every hardening feature; without -g,
# as there is no debug-symbol package, so the libraries stay small.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cppflags=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DKELDRO_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
  cat "$build/cpack.log"
  exit 1
fi
ls "$build"/keldro_*.deb
