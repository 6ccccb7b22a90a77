#!/usr/bin/env bash
# PyKCS11 (Debian's python3-pykcs11) against the module: listing, EC and RSA key pairs, signatures
# checked in software, digest equal to hashlib's, random bytes, a certificate imported, logout.
source "$(dirname "$0")/lib.sh"
export VLRP11_CLIENT_MODULE=$module VLRP11_CLIENT_CERT=$work/cert.der VLRP11_CLIENT_CERT_ID=$cert_id
objects="C_FindObjectsInit C_FindObjects C_GetAttributeValue"

for kind in $kinds; do
  py() { /usr/bin/python3 "$clients_dir/pykcs11_flows.py" "$1" "$(serial_of "$kind")"; }
  flow "$kind PyKCS11 slot, token and mechanism listing" "" py listing
  flow "$kind PyKCS11 EC key-pair generation" "C_GenerateKeyPair $objects" py keypair
  flow "$kind PyKCS11 ECDSA sign, verified in software" "C_GenerateKeyPair $objects C_Sign" py sign_ec
  flow "$kind PyKCS11 SHA256-RSA-PKCS sign, verified in software" "C_GenerateKeyPair $objects C_Sign" py sign_rsa
  flow "$kind PyKCS11 digest equals hashlib" "" py digest
  flow "$kind PyKCS11 random" "" py random
  flow "$kind PyKCS11 certificate import" "C_CreateObject $objects" py certificate
  flow "$kind PyKCS11 logout and close" "" py logout_close
done
summary
