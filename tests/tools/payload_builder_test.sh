#!/bin/sh
# The native payload builder as the build runs it: a build that fails, for bad
# input or a full disk, leaves no archive (neither a new nor an earlier one) and no
# partial file; names are compared as Windows compares them, outside ASCII too;
# a manifest saved with a byte-order mark builds, and its archive lists clean.
# Usage: payload_builder_test.sh AR-PAYLOAD WORKFOLDER
set -u
builder=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
status=0
fail() {
    echo "FAILED: $*"
    status=1
}
# expect_refused WHAT EXPECTED-MESSAGE MANIFEST...: the build fails, says why,
# and leaves nothing behind, not even the archive of an earlier build.
expect_refused() {
    what=$1
    message=$2
    shift 2
    cp earlier.bz2 out.bz2
    if "$builder" build out.bz2 "$@" 2>errors.txt; then
        fail "$what: built"
    fi
    grep -qF -- "$message" errors.txt || { cat errors.txt; fail "$what: no '$message'"; }
    [ ! -e out.bz2 ] || fail "$what: an archive is left"
    [ ! -e out.bz2.partial ] && [ ! -L out.bz2.partial ] || fail "$what: the partial file is left"
}

printf 'a' >a.dll
mkdir one two
printf '1' >"one/$(printf '\303\204')rger.dll"
printf '2' >"two/$(printf '\303\244')rger.dll"
printf '\357\273\277# saved by a Windows editor\na.dll | <InstallPath> | Program\n' >bom.manifest
printf 'one/\303\204rger.dll | <InstallPath>/Lang | 0\ntwo/\303\244rger.dll | <InstallPath>\\\\Lang\\ | 0\n' >case.manifest
printf 'a.dll | <InstallPath>\\\\..\\\\Windows | 0\n' >dots.manifest

"$builder" build earlier.bz2 bom.manifest || fail "a manifest with a byte-order mark does not build"
"$builder" list earlier.bz2 >listing.txt || { cat listing.txt; fail "its archive does not list clean"; }
grep -qF '<InstallPath>\a.dll' listing.txt || fail "the listing lacks a.dll"

expect_refused "names equal but for case" "case.manifest:2: same destination file as case.manifest:1" case.manifest
expect_refused "a '..' folder" "dots.manifest:1: destination" dots.manifest
expect_refused "a missing manifest" "cannot read manifest" missing.manifest

# A full disk while writing: the partial file is /dev/full.
if [ -w /dev/full ]; then
    ln -s /dev/full out.bz2.partial
    expect_refused "a full disk" "cannot write 'out.bz2.partial'" bom.manifest
fi

[ $status -eq 0 ] && echo "payload builder: all cases as expected"
cd / && rm -rf "$work"
exit $status
