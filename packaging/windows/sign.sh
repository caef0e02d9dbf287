#!/usr/bin/env bash
# Signs a Windows program or DLL in place with a code-signing certificate:
#   sign.sh FILE CERTIFICATE.p12 [TIMESTAMP_URL]
# The certificate's password comes from PLENDRIK_SIGN_PASSWORD, and reaches
# osslsigncode through a pipe, never on a command line that others can see.
# With a timestamp server, the signature stays valid after the certificate
# expires.
set -euo pipefail
file=$1 certificate=$2 timestamp=${3-}
trap 'rm -f "$file.signed"' EXIT
options=(-pkcs12 "$certificate" -readpass /dev/stdin -h sha256 -n Plendrik)
[[ -n $timestamp ]] && options+=(-ts "$timestamp")
printf '%s' "${PLENDRIK_SIGN_PASSWORD-}" \
    | osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
