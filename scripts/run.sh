#!/usr/bin/env bash
# Installs what is missing, builds, and runs the command-line front end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
exec build/release/src/cli/tarnwick-cli "$@"
