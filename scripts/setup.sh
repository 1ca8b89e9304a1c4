#!/usr/bin/env bash
# Installs every Debian package that building and testing Tarnwick needs,
# skipping those already present, so running it again changes nothing.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # libraries
  libxml2-dev libssl-dev zlib1g-dev libc-ares-dev libjemalloc-dev
  # the public suffix list, so that no cookie is set for a whole registry
  libpsl-dev publicsuffix
  # the desktop program
  qt6-base-dev qt6-svg-dev libgl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev tzdata time
  # an HTML5 parser that tests and fuzz targets read saved pages with
  libgumbo-dev
  # real servers and peers for the end-to-end tests, and tools they compare with
  nginx-light apache2 apache2-utils tinyproxy python3 python3-pyftpdlib openssl wget curl
  # the CHM compiler stand-in and its lister
  fp-utils
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing; run as root to install them: ${missing[*]}" >&2
  exit 1
fi

# Servers are started by the tests themselves on loopback ports; keep the
# package scripts from starting system services while installing them.
created_policy=0
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
  chmod +x /usr/sbin/policy-rc.d
  created_policy=1
fi
trap '[ $created_policy -eq 1 ] && rm -f /usr/sbin/policy-rc.d' EXIT

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
