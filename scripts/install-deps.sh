#!/bin/sh
# Installs whatever the build and the tests need and is not there yet.
set -e
missing=""
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v g++ >/dev/null 2>&1 || missing="$missing g++"
command -v make >/dev/null 2>&1 || missing="$missing make"
[ -f /usr/include/zlib.h ] || missing="$missing zlib1g-dev"
# Bundles are compressed and inflated whole, in memory, with libdeflate.
[ -f /usr/include/libdeflate.h ] || missing="$missing libdeflate-dev"
[ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
# kelvane diff reads JSON reports with simdjson.
[ -f /usr/include/simdjson.h ] || missing="$missing libsimdjson-dev"
# The tests validate JSON with python3 and check bundles against GNU tar.
command -v python3 >/dev/null 2>&1 || missing="$missing python3"
command -v tar >/dev/null 2>&1 || missing="$missing tar"
command -v gzip >/dev/null 2>&1 || missing="$missing gzip"
# shellcheck source=scripts/apt-install.sh
. "$(dirname "$0")/apt-install.sh"
install_missing ""
