#!/usr/bin/env bash
# OpenSSL 3 with the pkcs11 engine: dgst -sign and pkeyutl -sign with EC and RSA keys on the
# device and a self-signed certificate made with a device key, all verified by plain openssl.
source "$(dirname "$0")/lib.sh"
export PKCS11_MODULE_PATH=$module
engine=(-engine pkcs11 -keyform engine)

available() { openssl engine -t -c pkcs11 | grep -q "\[ available \]"; }
flow "openssl engine -t -c pkcs11" "" available

for kind in $kinds; do
  if [ "$kind" = token ]; then
    ruled_out "token openssl -engine pkcs11 (every flow)" \
      "the engine gives up listing a token's keys at the first key type it does not know, and the token holds a DSTU 4145 key (vendor key type)"
    continue
  fi
  slot=$(slot_of "$kind")
  p11=(pkcs11-tool --module "$module" --slot "$slot" -l --pin "$pin")
  out=$work/$kind
  mkdir -p "$out"
  key_uri() { echo "$(uri_of "$kind");object=${1// /%20};type=private;pin-value=$pin"; }
  ec=$(ec_sample_of "$kind")
  rsa=$(rsa_sample_of "$kind")
  objects="C_FindObjectsInit C_FindObjects C_GetAttributeValue C_SignInit C_Sign"
  rsa_needs=$objects
  if [ -z "$rsa" ]; then
    rsa=openssl-rsa
    rsa_needs="$objects C_GenerateKeyPair"
    make_rsa() { "${p11[@]}" --keypairgen --key-type rsa:2048 --id e1 --label "$rsa"; }
    flow "$kind openssl: RSA key made with pkcs11-tool" "C_GenerateKeyPair" make_rsa
  fi
  public_key() {  # label file
    "${p11[@]}" --read-object --type pubkey --label "$1" -o "$2"
  }

  dgst_sign() {
    public_key "$ec" "$out/ec.pub" &&
      openssl dgst "${engine[@]}" -sign "$(key_uri "$ec")" -sha256 -out "$out/ec.sig" "$work/data" &&
      verify_signature "$out/ec.pub" "$out/ec.sig"
  }
  flow "$kind openssl dgst -sign (EC), openssl verifies" "$objects" dgst_sign
  pkeyutl_ec() {
    public_key "$ec" "$out/ec.pub" &&
      openssl pkeyutl "${engine[@]}" -inkey "$(key_uri "$ec")" -sign -in "$work/data.sha256" -out "$out/ec2.sig" &&
      verify_signature "$out/ec.pub" "$out/ec2.sig"
  }
  flow "$kind openssl pkeyutl -sign (EC), openssl verifies" "$objects" pkeyutl_ec
  pkeyutl_rsa() {
    public_key "$rsa" "$out/rsa.pub" &&
      openssl pkeyutl "${engine[@]}" -inkey "$(key_uri "$rsa")" -sign -pkeyopt digest:sha256 \
        -in "$work/data.sha256" -out "$out/rsa.sig" &&
      verify_signature "$out/rsa.pub" "$out/rsa.sig"
  }
  flow "$kind openssl pkeyutl -sign (RSA PKCS#1), openssl verifies" "$rsa_needs" pkeyutl_rsa
  self_signed() {
    public_key "$ec" "$out/ec.pub" &&
      openssl req -new -x509 -days 30 -subj "/CN=vlrp11 $kind" "${engine[@]}" -key "$(key_uri "$ec")" \
        -sha256 -out "$out/self.pem" &&
      openssl verify -check_ss_sig -CAfile "$out/self.pem" "$out/self.pem" &&
      cmp <(openssl x509 -in "$out/self.pem" -pubkey -noout) <(openssl pkey -pubin -inform DER -in "$out/ec.pub")
  }
  flow "$kind openssl req -x509 -engine pkcs11, openssl verifies" "$objects" self_signed
done
summary
