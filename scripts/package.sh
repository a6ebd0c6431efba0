#!/bin/bash
# Builds the Debian package keldor-station_VERSION_ARCH.deb with CPack and checks it with
# lintian, which fails the run on any error. The programs are built without the tests into
# build-package/ at -O2, as Debian builds its packages; KELDOR_BUILD_DIR packages an existing
# build instead.
# Prints the package's path as the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev file lintian
if [ -n "${KELDOR_BUILD_DIR:-}" ]; then
    build_dir=$KELDOR_BUILD_DIR
    scripts/build.sh
else
    build_dir=build-package
    KELDOR_BUILD_DIR=$build_dir KELDOR_BUILD_TYPE=Release scripts/build.sh -DKELDOR_BUILD_TESTS=OFF \
        "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
fi
rm -f "$build_dir"/keldor-station_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/keldor-station_*.deb)
echo "$deb: $(du -k "$deb" | cut -f1) KiB" >&2
lintian --fail-on error --info "$deb" >&2
echo "$deb"
