#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those missing.
set -euo pipefail

packages=(build-essential cmake g++ pkg-config libgtest-dev libgmock-dev googletest
          libbenchmark-dev libssl-dev libcrypt-dev nlohmann-json3-dev
          php8.2-cli php8.2-dev)

# The console's browser test drives Debian's Chromium from Node.js; without them it reports
# a skip, so failing to install these is not fatal. Each is looked for as its command.
declare -A optional=([chromium]=/usr/bin/chromium [nodejs]=node [npm]=npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
optional_missing=()
for p in "${!optional[@]}"; do
  command -v "${optional[$p]}" >/dev/null 2>&1 || optional_missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ ${#optional_missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
for p in "${optional_missing[@]}"; do
  echo "Installing (optional): $p"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$p" ||
    echo "could not install $p; the browser test will report a skip"
done
