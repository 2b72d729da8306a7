#!/usr/bin/env bash
# The editor's browser and server tests: `quorvane edit` from a build tree
# (default build/) driven by playwright-core in Debian's chromium, and its
# server under hostile and heavy use. npm's download cache lives outside the
# tree, so a second run needs no network.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
export QUORVANE_BIN="$PWD/$build/quorvane"
[ -x "$QUORVANE_BIN" ] || { echo "test-editor: $QUORVANE_BIN is not built" >&2; exit 1; }
[ -x /usr/bin/chromium ] || { echo "test-editor: /usr/bin/chromium is missing (scripts/setup.sh installs it)" >&2; exit 1; }
cd tests/browser
npm ci --no-audit --no-fund --cache "$HOME/.cache/quorvane/npm" --prefer-offline > /dev/null
node --test --test-concurrency=1 editor.test.mjs server.test.mjs
echo "test: editor browser and server tests passed"
