#!/bin/sh
# make_signed_probes.sh PROBE_EXE OUT_DIR - the signed programs of the
# signature tests, made afresh at build time so that no key is ever kept in
# the tree: a test root and the code-signing certificate it issued to
# "Contoso Ltd", a second root that nobody trusts with its own "Contoso Ltd",
# and copies of the probe:
#   signed.exe     signed through the test root
#   changed.exe    signed.exe with one byte of its DOS stub changed afterwards
#   untrusted.exe  signed through the root nobody trusts
#   unsigned.exe   the probe as built
#   root.cer       the test root (DER), for the test prefix's Root store
set -e
probe=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
cd "$out"
printf '%s\n' '[leaf]' 'basicConstraints=CA:FALSE' 'keyUsage=critical,digitalSignature' \
    'extendedKeyUsage=codeSigning' 'subjectKeyIdentifier=hash' \
    'authorityKeyIdentifier=keyid' >leaf.cnf
for chain in trusted untrusted; do
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout $chain-root.key \
        -out $chain-root.pem -subj "/CN=Orvane Test Root ($chain)" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout $chain-leaf.key -out $chain-leaf.csr \
        -subj "/CN=Contoso Ltd/O=Contoso Ltd" 2>/dev/null
    openssl x509 -req -sha256 -days 3650 -in $chain-leaf.csr -CA $chain-root.pem \
        -CAkey $chain-root.key -CAcreateserial -out $chain-leaf.pem -extfile leaf.cnf \
        -extensions leaf 2>/dev/null
    target=signed.exe
    [ $chain = untrusted ] && target=untrusted.exe
    osslsigncode sign -certs $chain-leaf.pem -ac $chain-root.pem -key $chain-leaf.key \
        -h sha256 -n "Orvane probe" -in "$probe" -out $target >/dev/null
done
openssl x509 -in trusted-root.pem -outform DER -out root.cer
cp signed.exe changed.exe
# Offset 0x60 is inside the DOS stub's message: hashed, never run.
printf 'X' | dd of=changed.exe bs=1 seek=96 conv=notrunc 2>/dev/null
cp "$probe" unsigned.exe
