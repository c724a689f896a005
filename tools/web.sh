#!/usr/bin/env bash
# Builds the page: the core as WebAssembly with Debian's emscripten
# (build-web/wasm), the scripts bundled with esbuild, all into build-web/site;
# then serves it on http://127.0.0.1:8080 until stopped (Ctrl-C).
# Installs what a fresh Debian machine lacks, with apt-get and npm ci.
# Usage: tools/web.sh [--build-only] [PORT]
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=0
if [ "${1:-}" = "--build-only" ]; then build_only=1; shift; fi
port=${1:-8080}

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v emcc >/dev/null || need+=(emscripten)
command -v node >/dev/null || need+=(nodejs)
command -v npm >/dev/null || need+=(npm)
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# Debian's emscripten runs its JavaScript tools with the node on PATH; a node
# that is not Debian's own does not look in Debian's module folder by itself.
export NODE_PATH=/usr/share/nodejs
# The module reads its .wasm from disk under Node rather than through fetch()
# (web/core/pre.js), so no Node flag such as --no-experimental-fetch is needed.
emcmake cmake -S . -B build-web/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
cmake --build build-web/wasm -j "$(nproc)"

# The pinned packages of web/package-lock.json, once per change of the lock.
if [ ! -f web/node_modules/.package-lock.json ] || [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
  (cd web && npm ci --no-audit --no-fund)
fi
node web/build.mjs build-web/wasm build-web/site
# The module's types beside it, for programs that use keldro.mjs.
cp web/core/keldro.d.ts web/core/keldro.d.mts build-web/site/
echo "web: build-web/site (keldro.wasm $(stat -c %s build-web/site/keldro.wasm) bytes," \
  "page $(cat build-web/site/index.html build-web/site/*.css build-web/site/*.js | wc -c) bytes)"

[ "$build_only" -eq 1 ] && exit 0
exec node web/serve.mjs build-web/site "$port"
