#!/usr/bin/env bash
# Builds a release of Quorvel in build-deb/ and makes its Debian package there, with the country
# tables of data/static/ when scripts/install-deps.sh has generated them. Prints the package's path.
# Usage: scripts/make-deb.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}

if [[ ! -f data/static/ip-to-country.csv || ! -f data/static/ip6-to-country.csv ]]; then
    echo "make-deb: data/static/ip-to-country.csv or ip6-to-country.csv is missing; run" \
        "scripts/install-deps.sh first, or the package cannot place visitors in countries" >&2
    exit 1
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF
cmake --build "$build"
rm -f "$build"/quorvel_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/quorvel_*.deb
