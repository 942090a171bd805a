#!/usr/bin/env bash
# Builds the playground into a static folder: build.sh [WEB_BUILD] (default build-web) makes
# WEB_BUILD/playground/ from WEB_BUILD/cmake (the WebAssembly module, emcmake) and the
# editor's bundle (esbuild, from the npm packages that package-lock.json pins).
# Without emscripten or npm it prints one line and builds nothing (status 0).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
web="$(mkdir -p "${1:-build-web}" && cd "${1:-build-web}" && pwd)"

missing=()
command -v emcmake >/dev/null 2>&1 || missing+=(emscripten)
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  what="${missing[*]}"
  echo "make playground: skipped, no ${what// / and } (scripts/prerequisites install optional)"
  exit 0
fi

# Debian's emscripten runs its JavaScript optimiser on node with Debian's node modules
# (acorn); a node from elsewhere does not look there by itself.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

# The WebAssembly objects go through ccache as the native ones do, where it is there.
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
emcmake cmake -S "$root" -B "$web/cmake" -DCMAKE_BUILD_TYPE=Release -DVORN_PLAYGROUND=ON \
  -DVORN_TESTS=OFF -DVORN_LTO=OFF >/dev/null
cmake --build "$web/cmake" -j "${JOBS:-2}" --target vorn_playground

cd "$here"
if ! cmp -s package-lock.json node_modules/.vorn-lock; then
  npm ci --no-audit --no-fund --loglevel=error
  cp package-lock.json node_modules/.vorn-lock
fi
node build.mjs --module "$web/cmake/web/playground" --examples "$root/examples" \
  --out "$web/playground"
