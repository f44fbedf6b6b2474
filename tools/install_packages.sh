#!/usr/bin/env bash
# Installs with apt whatever of the build set (and the extra packages named as arguments) is
# missing on Debian 12, and does nothing when all of it is there: ./run-example, ./run-tests and
# .ci/run start with it. Runs apt-get as root or through sudo; where it can do neither it names
# the command to run and exits 1.
#   tools/install_packages.sh [EXTRA_PACKAGE...]
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  libboost-math-dev libhts-dev libssl-dev pkg-config python3 "$@")

if ! command -v dpkg >/dev/null; then
  echo "install_packages: no dpkg, so not Debian: make sure these are installed:" \
    "${packages[*]}" >&2
  exit 0
fi
# A package removed with its configuration files kept is known to dpkg but not installed.
missing=()
for p in "${packages[@]}"; do
  if [[ "$(dpkg -s "$p" 2>/dev/null)" != *"Status: install ok installed"* ]]; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "install_packages: missing ${missing[*]}; not root and no sudo, so run as root:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
