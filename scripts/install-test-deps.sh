#!/bin/sh
# Installs what only the tests need and is not there yet: the latency tools
# (rt-tests, rtla) for the real --measure run, a headless Chromium for the
# HTML page, xmllint and junitparser for the JUnit file, groff for the man
# page. make test calls it; make run never does.
set -e
missing=""
command -v cyclictest >/dev/null 2>&1 || missing="$missing rt-tests"
command -v rtla >/dev/null 2>&1 || missing="$missing rtla"
if ! command -v chromium-headless-shell >/dev/null 2>&1 && ! command -v chromium >/dev/null 2>&1 &&
  [ ! -x /usr/lib/chromium/chromium-headless-shell ]; then
  missing="$missing chromium-headless-shell"
fi
command -v xmllint >/dev/null 2>&1 || missing="$missing libxml2-utils"
/usr/bin/python3 -c 'import junitparser' >/dev/null 2>&1 || missing="$missing python3-junitparser"
command -v groff >/dev/null 2>&1 || missing="$missing groff"
command -v man >/dev/null 2>&1 || missing="$missing man-db"
# shellcheck source=scripts/apt-install.sh
. "$(dirname "$0")/apt-install.sh"
install_missing " test dependencies" --no-install-recommends
