#!/usr/bin/env bash
# Makes the certificates the certificate reader is tested with, using the openssl command line
# tool, and writes them as DER files beside this script and as byte arrays to
# tests/objects/support/openssl_certificates.h. Run again only to change the set; the tests use
# the committed files and need no openssl.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
header=$here/../../objects/support/openssl_certificates.h
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > req.cnf <<'CNF'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[v3_default]
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
basicConstraints = critical, CA:TRUE
[v3_no_key_ids]
subjectKeyIdentifier = none
authorityKeyIdentifier = none
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
[v3_ca_path]
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
basicConstraints = critical, CA:TRUE, pathlen:3
keyUsage = critical, keyCertSign, cRLSign, digitalSignature, decipherOnly
[v3_leaf]
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always, issuer:always
keyUsage = digitalSignature, nonRepudiation
extendedKeyUsage = clientAuth, emailProtection
subjectAltName = email:leaf@example.org, DNS:leaf.example.org
1.2.3.4.5.6.7 = critical, DER:04:02:AB:CD
CNF

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.key 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out ca.key

# v3 RSA, UTCTime, the default key identifiers.
openssl req -x509 -config req.cnf -extensions v3_default -key rsa.key -sha256 -days 3650 \
  -set_serial 0x0123456789 -subj "/C=UA/O=Vellaro Test/CN=RSA v3 root" -outform DER -out rsa_v3.der

# v1 EC: a request signed by its own key without extensions.
openssl req -new -config req.cnf -key ec.key -subj "/CN=EC v1/O=Vellaro Test" -out ec_v1.csr
openssl x509 -req -in ec_v1.csr -key ec.key -sha256 -days 30 -set_serial 7 -outform DER \
  -out ec_v1.der 2>/dev/null

# v3 EC without key identifiers, multi-valued RDNs, a serial with its top bit set (so a leading
# zero byte) and key usage.
openssl req -x509 -config req.cnf -extensions v3_no_key_ids -key ec.key -sha384 -days 400 \
  -set_serial 0x80FEDCBA98765432 -utf8 -subj "/O=Vellaro Test/CN=Multi+OU=Valued+UID=rdn/C=UA" \
  -outform DER -out ec_multi_rdn.der

# A CA with a path length, and a leaf it issues with GeneralizedTime dates, an authority key
# identifier naming issuer and serial, and an unrecognised critical extension.
openssl req -x509 -config req.cnf -extensions v3_ca_path -key ca.key -sha384 -days 9000 \
  -set_serial 0x1001 -subj "/C=UA/O=Vellaro Test/CN=Test CA" -out ca.pem
openssl x509 -in ca.pem -outform DER -out ca_path.der
mkdir -p ca/newcerts
: > ca/index.txt
echo 2002 > ca/serial
cat > ca.cnf <<'CNF'
[ca]
default_ca = test_ca
[test_ca]
dir = ca
database = $dir/index.txt
new_certs_dir = $dir/newcerts
serial = $dir/serial
default_md = sha256
policy = anything
email_in_dn = no
copy_extensions = none
[anything]
commonName = supplied
organizationName = optional
CNF
openssl req -new -config req.cnf -key rsa.key -subj "/O=Vellaro Test/CN=Leaf" -out leaf.csr
openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in leaf.csr -notext \
  -startdate 20500101000000Z -enddate 20600229235959Z -extfile req.cnf -extensions v3_leaf \
  -out leaf.pem 2>/dev/null
openssl x509 -in leaf.pem -outform DER -out leaf_generalized.der

names=(rsa_v3 ec_v1 ec_multi_rdn ca_path leaf_generalized)
for name in "${names[@]}"; do
  cp "$name.der" "$here/"
done

{
  echo "#pragma once"
  echo
  echo "// Made by tests/vectors/certs/make_certs.sh with the openssl command line tool."
  echo "#include <cstdint>"
  echo
  echo "namespace vlrp11::test {"
  for name in "${names[@]}"; do
    echo
    echo "constexpr std::uint8_t CERT_$(tr a-z A-Z <<<"$name")[] = {"
    od -An -v -tx1 "$name.der" | sed -E 's/ ([0-9a-f]{2})/ 0x\1,/g; s/^ /   /; s/,$/,/'
    echo "};"
  done
  echo
  echo "}  // namespace vlrp11::test"
} > "$header"
