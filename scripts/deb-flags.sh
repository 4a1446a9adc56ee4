#!/usr/bin/env bash
# The compiler and linker flags a Debian package of this program is built with, as CMake
# options, one a line: dpkg-buildflags' answer for DEB_BUILD_MAINT_OPTIONS=hardening=+all
# (the stack protector, FORTIFY, read-only relocations bound at start: BIND_NOW). The test
# command configures build/ with them, so the packages are cut from the tree the tests ran
# on without compiling it again (tests/extra/package.sh, debian/rules).
# Run from the source folder: the flags map that folder's paths to '.'.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxx="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ld=$(dpkg-buildflags --get LDFLAGS)
echo "-DCMAKE_CXX_FLAGS=$cxx"
for kind in EXE SHARED MODULE; do echo "-DCMAKE_${kind}_LINKER_FLAGS=$ld"; done
