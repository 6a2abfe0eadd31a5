#!/usr/bin/env bash
# Drive S: of the test prefix: a file system of 1 MB (less than the product folder takes), for the disk-space tests.
#   small_volume.sh setup | cleanup
# Mounting needs root (the test command runs as root); where it is refused the
# drive is missing and the tests that need it are skipped, saying so.
set -u
dir=${WINEPREFIX:?}/../small-volume
link=$WINEPREFIX/dosdevices/s:
case ${1:-} in
setup)
    mkdir -p "$dir"
    if ! mountpoint -q "$dir" && ! mount -t tmpfs -o size=1m ar-small-volume "$dir" 2>/dev/null; then
        echo "no small volume: mounting a 1 MB tmpfs was refused"
        exit 0
    fi
    rm -rf "${dir:?}"/*
    ln -sfn "$dir" "$link"
    ;;
cleanup)
    rm -f "$link"
    umount "$dir" 2>/dev/null
    rmdir "$dir" 2>/dev/null
    exit 0
    ;;
*)
    echo "usage: $0 setup|cleanup" >&2
    exit 2
    ;;
esac
