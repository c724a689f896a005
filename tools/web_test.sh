#!/usr/bin/env bash
# Tests the page against the programs: the WebAssembly module under Node
# (every example and damaged files against keldro, a folder against
# keldro-batch), then the page in Debian's Chromium through playwright-core.
# Installs what it lacks (emscripten, chromium, the npm packages); artifacts
# (the downloaded zips, screenshots) land in build-web/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
if ! command -v chromium >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends chromium
fi
bash tools/web.sh --build-only

# The reference programs, built in release mode beside the page.
cmake -S . -B build-web/native -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELDRO_TESTS=OFF >/dev/null
cmake --build build-web/native -j "$(nproc)" --target keldro keldro-batch

node web/test/node-test.mjs build-web/site/keldro.mjs build-web/native examples
# The page's pure parts (paths, settings, charts' numbers) under node:test.
node --test web/test/unit/
# The module's types (keldro.d.ts) against a program that uses it.
web/node_modules/.bin/tsc -p web/core

port=8181
node web/serve.mjs build-web/site "$port" >/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
node web/test/browser-test.mjs "http://127.0.0.1:$port/" build-web/native examples build-web/artifacts
