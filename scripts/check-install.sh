#!/usr/bin/env bash
# Installs a build tree into a scratch prefix and builds a small consumer
# against it twice, with pkg-config and with find_package(wqxobj), then runs
# both. Every installed header must compile on its own with just the
# pkg-config flags, and the manual page (when built) must render.
# Usage: scripts/check-install.sh BUILD_DIR
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

# Each header alone, as <wqxobj/NAME.h>: it includes what it needs, and the
# headers find each other without include/wqxobj on the path.
for h in "$prefix"/include/wqxobj/*.h; do
  echo "#include <wqxobj/$(basename "$h")>" |
    c++ -std=c++17 -x c++ -fsyntax-only -Wall -Werror $(pkg-config --cflags wqxobj) - ||
    { echo "check-install: <wqxobj/$(basename "$h")> does not compile on its own" >&2; exit 1; }
done
if pkg-config --cflags wqxobj | grep -q 'include/wqxobj'; then
  echo "check-install: pkg-config puts include/wqxobj on the path" >&2; exit 1
fi

man="$prefix/share/man/man1/wqxobj.1"
if [ -f "$man" ]; then
  # In the C locale man renders plain ASCII; strip its overstrikes.
  rendered=$(LC_ALL=C MANWIDTH=80 MAN_KEEP_FORMATTING= man -l "$man" | sed 's/.\x08//g')
  for want in "decode" "--pcap" "--version"; do
    grep -q -- "$want" <<<"$rendered" ||
      { echo "check-install: the manual page does not mention $want" >&2; exit 1; }
  done
fi

cmake -S tests/consumer -B "$prefix/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/cmake-build" >/dev/null
"$prefix/cmake-build/consumer" >/dev/null
echo "installed tree: every header compiles alone; consumers build with pkg-config and find_package"
