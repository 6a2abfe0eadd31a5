#!/bin/sh
# Signs a program in place with osslsigncode (Authenticode, SHA-256): the signed
# copy is written beside it and renamed over it. When signing fails the unsigned
# program is removed, so the next build links it again instead of carrying an
# unsigned file on. The key's password, if any, comes from the option
# "-readpass FILE" or from AR_SIGN_PASSWORD in the environment (given on standard
# input, never on a command line).
# Usage: sign-program.sh OSSLSIGNCODE PROGRAM DESCRIPTION SIGNING-OPTIONS...
set -u
osslsigncode=$1
program=$2
description=$3
shift 3

signed=$program.signing
rm -f "$signed"
case " $* " in *" -readpass "*) AR_SIGN_PASSWORD= ;; esac
if [ -n "${AR_SIGN_PASSWORD:-}" ]; then
    printf '%s' "$AR_SIGN_PASSWORD" |
        "$osslsigncode" sign "$@" -readpass - -h sha256 -n "$description" -in "$program" -out "$signed" >/dev/null
else
    "$osslsigncode" sign "$@" -h sha256 -n "$description" -in "$program" -out "$signed" >/dev/null
fi
status=$?
if [ $status -eq 0 ] && [ -s "$signed" ] && mv -f "$signed" "$program"; then
    exit 0
fi
echo "sign-program: cannot sign $program" >&2
rm -f "$signed" "$program"
exit 1
