#!/usr/bin/env bash
# Installs what building and testing libwqxobj needs, from Debian's packages,
# and only what is missing. Usage: scripts/deps.sh [native|cross|fuzz|valgrind|coverage|all]...
set -euo pipefail

native=(build-essential cmake pkg-config libjansson-dev liblog4cpp5-dev
        libgtest-dev libgmock-dev libbenchmark-dev libmsgpack-dev
        libpcap-dev help2man tshark)
# The armhf log4cpp -dev package cannot sit beside the native one; the cross
# build uses the native headers and links the armhf runtime library.
cross=(g++-arm-linux-gnueabihf qemu-user libjansson-dev:armhf libgtest-dev:armhf
       liblog4cpp5v5:armhf libstdc++-12-dev:armhf libpcap-dev:armhf)
fuzz=(clang libclang-rt-14-dev)
valgrind=(valgrind)
coverage=(gcovr)

want=()
for set in "${@:-native}"; do
  case "$set" in
    native) want+=("${native[@]}") ;;
    cross) want+=("${cross[@]}") ;;
    fuzz) want+=("${fuzz[@]}") ;;
    valgrind) want+=("${valgrind[@]}") ;;
    coverage) want+=("${coverage[@]}") ;;
    all) want+=("${native[@]}" "${cross[@]}" "${fuzz[@]}" "${valgrind[@]}" "${coverage[@]}") ;;
    *) echo "deps.sh: unknown set '$set' (native, cross, fuzz, valgrind, coverage, all)" >&2; exit 2 ;;
  esac
done

installed() {
  # A bare name means the machine's own architecture (arch-all packages
  # answer only to the bare name).
  local q="$1"
  [[ "$q" == *:* ]] || q="$q:$(dpkg --print-architecture)"
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$q" 2>/dev/null)" = installed ] ||
    [ "$(dpkg-query -W -f='${db:Status-Status} ${Architecture}' "$1" 2>/dev/null)" = "installed all" ]
}

missing=()
for pkg in "${want[@]}"; do
  installed "$pkg" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing: ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':armhf$' &&
   ! dpkg --print-foreign-architectures | grep -qx armhf; then
  $SUDO dpkg --add-architecture armhf
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
