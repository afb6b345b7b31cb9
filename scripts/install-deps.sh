#!/usr/bin/env bash
# Installs every Debian package that building Quorvel and running its tests need.
# Idempotent: packages already present are left alone; the package lists are
# refreshed only when something is missing. Runs as root on Debian 12.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    zlib1g-dev libpng-dev libxml2-dev libxslt1-dev libzip-dev libcurl4-openssl-dev libcairo2-dev
    fonts-liberation qt6-base-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    python3-pyftpdlib xvfb xauth zip gzip tar
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run this script as root to install them" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
