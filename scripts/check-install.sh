#!/usr/bin/env bash
# Installs a build tree into a scratch prefix and builds a small consumer
# against it twice, with pkg-config and with find_package(wqxobj), then runs
# both. Usage: scripts/check-install.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "$1")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
c++ -std=c++17 -Wall -Werror tests/consumer/consumer.cpp -o "$prefix/consumer-pc" \
    $(pkg-config --cflags --libs wqxobj) -Wl,-rpath,"$prefix/lib"
"$prefix/consumer-pc" >/dev/null

cmake -S tests/consumer -B "$prefix/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/cmake-build" >/dev/null
"$prefix/cmake-build/consumer" >/dev/null
echo "installed tree builds consumers with pkg-config and find_package"
