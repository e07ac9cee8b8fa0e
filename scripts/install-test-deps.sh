#!/bin/sh
# Installs what only the tests need and is not there yet: the latency tools
# (rt-tests, rtla) and stress-ng for the real --measure run, a headless Chromium for the
# HTML page, xmllint and junitparser for the JUnit file, groff for the man
# page; for the fleet and packaging tests node_exporter and promtool (the
# metrics file as Prometheus reads it), systemd-analyze (the units), and
# debhelper, lintian and bash-completion (the Debian package). make test
# calls it; make run never does.
set -e
missing=""
command -v cyclictest >/dev/null 2>&1 || missing="$missing rt-tests"
command -v rtla >/dev/null 2>&1 || missing="$missing rtla"
command -v stress-ng >/dev/null 2>&1 || missing="$missing stress-ng"
if ! command -v chromium-headless-shell >/dev/null 2>&1 && ! command -v chromium >/dev/null 2>&1 &&
  [ ! -x /usr/lib/chromium/chromium-headless-shell ]; then
  missing="$missing chromium-headless-shell"
fi
command -v xmllint >/dev/null 2>&1 || missing="$missing libxml2-utils"
/usr/bin/python3 -c 'import junitparser' >/dev/null 2>&1 || missing="$missing python3-junitparser"
command -v groff >/dev/null 2>&1 || missing="$missing groff"
command -v man >/dev/null 2>&1 || missing="$missing man-db"
command -v curl >/dev/null 2>&1 || missing="$missing curl"
[ -x /usr/bin/prometheus-node-exporter ] || missing="$missing prometheus-node-exporter"
command -v promtool >/dev/null 2>&1 || missing="$missing prometheus"
command -v systemd-analyze >/dev/null 2>&1 || missing="$missing systemd"
command -v dh >/dev/null 2>&1 || missing="$missing debhelper"
command -v dpkg-buildpackage >/dev/null 2>&1 || missing="$missing dpkg-dev"
command -v lintian >/dev/null 2>&1 || missing="$missing lintian"
[ -f /usr/share/bash-completion/bash_completion ] || missing="$missing bash-completion"
# shellcheck source=scripts/apt-install.sh
. "$(dirname "$0")/apt-install.sh"
install_missing " test dependencies" --no-install-recommends
