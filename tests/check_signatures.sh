#!/bin/sh
# The shipped programs carry Authenticode signatures that verify against the
# build's CA, and the signature covers the installer's payload: a copy with one
# byte of the payload resource changed fails verification on its digest.
# Usage: check_signatures.sh verify OSSLSIGNCODE CAFILE PROGRAM...
#        check_signatures.sh tamper OSSLSIGNCODE CAFILE INSTALLER WORKFOLDER
set -u
mode=$1
osslsigncode=$2
cafile=$3
shift 3

verify() {
    "$osslsigncode" verify -ignore-cdp -CAfile "$cafile" -in "$1"
}

case $mode in
verify)
    status=0
    for program in "$@"; do
        report=$(verify "$program" 2>&1) && echo "$report" | grep -q '^Signature verification: ok' || {
            echo "$report"
            echo "$program: not signed by a certificate of $cafile"
            status=1
            continue
        }
        echo "$program: $(echo "$report" | grep -m1 'Subject:' | sed 's/^\s*//')"
    done
    exit $status
    ;;
tamper)
    installer=$1
    copy=$2/tampered-$(basename "$installer")
    mkdir -p "$2"
    cp "$installer" "$copy" || exit 1
    trap 'rm -f "$copy"' EXIT
    verify "$copy" >/dev/null 2>&1 || { echo "the untouched copy does not verify"; exit 1; }
    # The payload resource is one bzip2 stream; change a byte well inside it.
    start=$(grep -obUa 'BZh91AY&SY' "$copy" | head -n 1 | cut -d: -f1)
    [ -n "$start" ] || { echo "no payload found in $installer"; exit 1; }
    at=$((start + 100000))
    byte=$(od -An -tu1 -j "$at" -N 1 "$copy" | tr -d ' ')
    printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of="$copy" bs=1 seek="$at" conv=notrunc 2>/dev/null
    cmp -s "$installer" "$copy" && { echo "the copy was not changed"; exit 1; }
    report=$(verify "$copy" 2>&1) && { echo "$report"; echo "a changed payload byte still verifies"; exit 1; }
    echo "$report" | grep -q 'MISMATCH' || { echo "$report"; echo "failed, but not on the digest"; exit 1; }
    echo "payload byte $at changed: verification fails on the digest"
    ;;
*)
    echo "usage: check_signatures.sh verify|tamper ..." >&2
    exit 2
    ;;
esac
