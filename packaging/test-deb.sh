#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, runs the installed program headless,
# validates the desktop entry and the metainfo, and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-deb
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_TESTS=OFF -DOSTREL_TEST_HOOKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
deb="$build/ostrel_$(sed -n 's/^project(ostrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)_amd64.deb"
test -f "$deb"
desktop-file-validate packaging/io.github.ostrel.ostrel.desktop
appstreamcli validate --no-net packaging/io.github.ostrel.ostrel.metainfo.xml
apt-get install -y "./$deb"
trap 'apt-get remove -y ostrel >/dev/null' EXIT
out=$(mktemp -d)
(cd "$out" && /usr/bin/ostrel --version)
(cd "$out" && /usr/bin/ostrel simulate --frame 15x15 --json)
man -w ostrel >/dev/null
test -f /usr/share/doc/ostrel/copyright
dpkg-deb -f "$deb" Maintainer | grep -qv '@' || { echo "the package carries a contact address"; exit 1; }
[ -z "$(ls -A "$out")" ] || { echo "the installed program wrote into the working folder"; exit 1; }
echo "deb package: installed, ran headless and validated"
