#!/usr/bin/env bash
# Installs the browser test's one npm package, at the version package.json
# pins, into tests/browser/node_modules; the browser is Debian's chromium,
# so no browser is downloaded. Does nothing when it is there already.
set -euo pipefail
cd "$(dirname "$0")"
version=$(sed -n 's/.*"puppeteer-core": "\([^"]*\)".*/\1/p' package.json)
installed=$(sed -n 's/^  "version": "\([^"]*\)".*/\1/p' node_modules/puppeteer-core/package.json 2>/dev/null || true)
if [ "$installed" = "$version" ]; then
  exit 0
fi
command -v npm > /dev/null || { echo "browser test: npm is not installed" >&2; exit 1; }
PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-package-lock --no-audit --no-fund --loglevel=error
