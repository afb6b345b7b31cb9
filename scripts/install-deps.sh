#!/usr/bin/env bash
# Installs every Debian package that building Quorvel and running its tests need, then
# builds the country tables in data/static/ once (they are generated, not committed).
# Idempotent: packages already present are left alone; the package lists are
# refreshed only when something is missing; existing tables are kept. Runs as root on Debian 12.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    zlib1g-dev libpng-dev libxml2-dev libxslt1-dev libzip-dev libcurl4-openssl-dev libcairo2-dev
    fonts-liberation qt6-base-dev qt6-svg-dev desktop-file-utils
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    python3-pyftpdlib python3-openssl xvfb xauth zip gzip tar
    python3 iso-codes ca-certificates
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: missing packages: ${missing[*]}" >&2
        echo "install-deps: run this script as root to install them" >&2
        exit 1
    fi
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The country tables (about 34 MB) are built from a pinned data package; without them the
# program still runs and every country lookup gives "-", so a failed download only warns.
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if ! python3 "$repo/tools/build_country_tables.py"; then
    echo "install-deps: the country tables were not built; run tools/build_country_tables.py later" >&2
fi
