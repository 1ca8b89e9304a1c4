#!/usr/bin/env bash
# Installs the Debian packages that one use of Tarnwick needs, skipping those
# already present, so running it again changes nothing:
#   scripts/setup.sh cli      build and run the command line (https included)
#   scripts/setup.sh sample   serve the sample site that scripts/run.sh mirrors
#   scripts/setup.sh chm      compile help files (tarnwick-cli chm, the Help menu)
#   scripts/setup.sh app      build and run the desktop program
#   scripts/setup.sh [test]   everything: all of the above, and the compilers,
#                             libraries, servers and tools of the tests, with
#                             the browser test's npm package (tests/browser)
# Several groups may be named at once.
set -euo pipefail

# toolchain and the libraries of the engine and the command line
CLI_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libxml2-dev libssl-dev zlib1g-dev libc-ares-dev libjemalloc-dev
  # the trust store that https certificates are verified against
  ca-certificates
  # the public suffix list, so that no cookie is set for a whole registry
  libpsl-dev publicsuffix
)
# nginx, and python3 that finds it a free port
SAMPLE_PACKAGES=(nginx-light python3)
# the CHM compiler stand-in and its lister
CHM_PACKAGES=(fp-utils)
APP_PACKAGES=(qt6-base-dev qt6-svg-dev libgl-dev)
TEST_PACKAGES=(
  # the fuzz targets' compiler and sanitizer runtime, and the formatter
  clang libclang-rt-14-dev clang-format
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev tzdata time
  # an HTML5 parser that tests and fuzz targets read saved pages with
  libgumbo-dev
  # real servers and peers for the end-to-end tests, and tools they compare with
  apache2 apache2-utils tinyproxy python3 python3-pyftpdlib openssl wget curl
  # the browser that the browser test opens mirrored pages in
  chromium
)
# Node.js drives the browser; one installed from elsewhere (with its own npm)
# is taken as it is, since Debian's npm would not go beside it.
if ! command -v npm > /dev/null; then
  TEST_PACKAGES+=(nodejs npm)
fi

PACKAGES=()
browser_test=0
for group in "${@:-test}"; do
  case "$group" in
    cli) PACKAGES+=("${CLI_PACKAGES[@]}") ;;
    sample) PACKAGES+=("${SAMPLE_PACKAGES[@]}") ;;
    chm) PACKAGES+=("${CHM_PACKAGES[@]}") ;;
    app) PACKAGES+=("${CLI_PACKAGES[@]}" "${APP_PACKAGES[@]}") ;;
    test)
      PACKAGES+=("${CLI_PACKAGES[@]}" "${SAMPLE_PACKAGES[@]}" "${CHM_PACKAGES[@]}"
                 "${APP_PACKAGES[@]}" "${TEST_PACKAGES[@]}")
      browser_test=1
      ;;
    *) echo "setup: unknown group '$group' (cli, sample, chm, app, test)" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

install_browser_test() {
  if [ $browser_test -eq 1 ]; then
    "$(dirname "$0")/../tests/browser/install.sh"
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  install_browser_test
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
install_browser_test
