#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian machine.
# Safe to run again: packages already present are not fetched twice.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make googletest libgtest-dev clang-format
          g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
          wine wine64 xvfb xauth x11-utils chromium python3 procps nsis
          fonts-noto-color-emoji fonts-liberation2 clang-14 libclang-rt-14-dev)
# Node.js may come from outside Debian's archive, where Debian's npm would conflict with it.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ ! -d node_modules/playwright-core ]; then
  echo "setup: installing npm packages"
  npm install --no-audit --no-fund --loglevel=error >/dev/null
fi
