#!/usr/bin/env bash
# Installs what the real VS Code test needs, without downloading anything but Debian
# packages and npm packages:
#   - Debian: chromium (the browser that drives the page), libkrb5-dev (kerberos, a native
#     module of VS Code's server, builds against it), ripgrep (VS Code's search binary,
#     which @vscode/ripgrep would otherwise fetch from GitHub), and node's headers in
#     /usr/include/node so that node-gyp builds the native modules without fetching them;
#   - npm: code-server (VS Code's server and web client) and puppeteer-core, into a cache
#     folder outside the clone, one folder per version so later runs reuse it;
#   - npm: the extension's pinned development dependencies (editors/vscode, npm ci), which
#     make vsix and the grammar test use.
#
# setup_vscode.sh          installs what is missing (apt-get needs root)
# setup_vscode.sh --where  prints the folder code-server and puppeteer-core go to
#
# The cache is $VORN_CI_CACHE, or /var/cache/vorn-ci for root, ~/.cache/vorn-ci otherwise.
set -euo pipefail

# code-server 4.100.3 bundles VS Code 1.100: the newest release that runs on node 20.
CODE_SERVER_VERSION=4.100.3
PUPPETEER_VERSION=24.43.1
# What code-server 4.100.3's lockfile pins: @vscode/ripgrep 1.15.11, which fetches
# ripgrep's release v13.0.0-10 into a cache folder under $TMPDIR unless it is there.
RIPGREP_PACKAGE_VERSION=1.15.11
RIPGREP_ASSET=ripgrep-v13.0.0-10-x86_64-unknown-linux-musl.tar.gz
NPM_TIMEOUT=1500

here="$(cd "$(dirname "$0")" && pwd)"
extension="$here/../../editors/vscode"
if [ -n "${VORN_CI_CACHE:-}" ]; then
  cache="$VORN_CI_CACHE"
elif [ "$(id -u)" = 0 ]; then
  cache=/var/cache/vorn-ci
else
  cache="${XDG_CACHE_HOME:-$HOME/.cache}/vorn-ci"
fi
tools="$cache/vscode-test-code-server-$CODE_SERVER_VERSION-puppeteer-core-$PUPPETEER_VERSION"

if [ "${1:-}" = --where ]; then
  echo "$tools"
  exit 0
fi

say() { echo "setup_vscode: $*"; }

# Debian packages.
need=()
for package in chromium libkrb5-dev ripgrep; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || need+=("$package")
done
# Debian's own nodejs keeps its headers in libnode-dev; a nodejs package that already
# ships them in /usr/include/node needs nothing more.
[ -f /usr/include/node/node.h ] || need+=(libnode-dev)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    say "missing ${need[*]}; as root: apt-get install ${need[*]}"
    exit 1
  fi
  say "installing ${need[*]} (browser, kerberos headers, ripgrep and node headers for code-server)"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The extension's development dependencies: vsce, esbuild, the language client and the
# grammar tester, as package-lock.json pins them.
if [ ! -f "$extension/node_modules/.package-lock.json" ] ||
   ! cmp -s "$extension/package-lock.json" "$extension/node_modules/.vorn-lock"; then
  say "npm ci in editors/vscode"
  (cd "$extension" && timeout 300 npm ci --no-audit --no-fund --loglevel=error &&
     cp package-lock.json node_modules/.vorn-lock)
fi

# code-server and puppeteer-core, once per version.
if [ -f "$tools/.complete" ]; then
  say "code-server $CODE_SERVER_VERSION and puppeteer-core $PUPPETEER_VERSION: in $tools"
  exit 0
fi
node_major="$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo none)"
if [ "$node_major" != 20 ]; then
  say "code-server $CODE_SERVER_VERSION runs on node 20, and node here is ${node_major}: not installed"
  exit 1
fi
say "installing code-server $CODE_SERVER_VERSION and puppeteer-core $PUPPETEER_VERSION into $tools (a few minutes, once)"
rm -rf "$tools"
mkdir -p "$tools/tmp/vscode-ripgrep-cache-$RIPGREP_PACKAGE_VERSION"
tar czf "$tools/tmp/vscode-ripgrep-cache-$RIPGREP_PACKAGE_VERSION/$RIPGREP_ASSET" -C /usr/bin rg
cat >"$tools/package.json" <<EOF
{
  "name": "vorn-vscode-test-tools",
  "private": true,
  "dependencies": {
    "code-server": "$CODE_SERVER_VERSION",
    "puppeteer-core": "$PUPPETEER_VERSION"
  }
}
EOF
# nodedir: node's own headers, so node-gyp downloads none. unsafe_perm: code-server's
# install script refuses to run as root without it. PUPPETEER_SKIP_DOWNLOAD: the browser
# is Debian's.
if ! (cd "$tools" && TMPDIR="$tools/tmp" npm_config_nodedir=/usr npm_config_yes=true \
        npm_config_unsafe_perm=true PUPPETEER_SKIP_DOWNLOAD=1 \
        timeout "$NPM_TIMEOUT" nice npm install --no-audit --no-fund --loglevel=error); then
  rm -rf "$tools"
  say "npm install of code-server failed"
  exit 1
fi
rm -rf "$tools/tmp"
touch "$tools/.complete"
say "done: $(du -sh "$tools" | cut -f1) in $tools"
