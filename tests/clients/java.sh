#!/usr/bin/env bash
# Java SunPKCS11 (OpenJDK 17) against the module: the provider digests,
# keytool lists a device key with its
# certificate, and a program signs with SHA256withECDSA and SHA256withRSA from 4 threads,
# every signature verified by the software providers.
source "$(dirname "$0")/lib.sh"
objects="C_FindObjectsInit C_FindObjects C_GetAttributeValue"
javac -d "$work/classes" "$clients_dir/JavaFlows.java"
java=(java -cp "$work/classes" JavaFlows)

for kind in $kinds; do
  slot=$(slot_of "$kind")
  out=$work/$kind
  mkdir -p "$out"
  # "slot = <ID>" does not do: the module places devices in slots when the slot list is asked
  # for, which SunPKCS11 skips when it is given a slot ID.
  printf 'name = vlrp11-%s\nlibrary = %s\nslotListIndex = %s\n' "$kind" "$module" "$(slot_index_of "$kind")" \
    >"$out/p11.cfg"
  keytool=(keytool -keystore NONE -storetype PKCS11 -addprovider SunPKCS11 -providerArg "$out/p11.cfg"
    -storepass "$pin")
  ec=$(ec_sample_of "$kind")

  digest() { "${java[@]}" "$out/p11.cfg" digest; }
  flow "$kind Java provider loads; MessageDigest SHA-256 equals SUN's" "" digest
  list() { "${keytool[@]}" -list | tee "$out/list" && grep -q "^$ec, PrivateKeyEntry" "$out/list"; }
  flow "$kind keytool -list (sample key with its certificate)" "$objects" list
  sign() {  # algorithm alias
    "${java[@]}" "$out/p11.cfg" "$pin" "$1" "$2"
  }
  flow "$kind Java SHA256withECDSA, 4 threads, verified by SunEC" "$objects C_SignInit C_Sign" \
    sign SHA256withECDSA "$ec"

  # The keystore shows a private key only beside a certificate with its ID: the RSA key gets one,
  # self-signed through the OpenSSL engine.
  rsa_with_certificate() {
    local p11=(pkcs11-tool --module "$module" --slot "$slot" -l --pin "$pin") private=()
    is_hsm "$kind" && private=(--private)
    "${p11[@]}" --keypairgen --key-type rsa:2048 --id f1 --label java-rsa &&
      PKCS11_MODULE_PATH=$module openssl req -new -x509 -days 30 -subj "/CN=java-rsa" -engine pkcs11 \
        -keyform engine -key "$(uri_of "$kind");object=java-rsa;type=private;pin-value=$pin" \
        -sha256 -outform DER -out "$out/rsa.der" &&
      "${p11[@]}" --write-object "$out/rsa.der" --type cert --id f1 --label java-rsa "${private[@]}" &&
      sign SHA256withRSA java-rsa
  }
  flow "$kind Java SHA256withRSA, 4 threads, verified by SunRsaSign" \
    "C_GenerateKeyPair C_CreateObject $objects C_SignInit C_SignUpdate C_SignFinal" rsa_with_certificate
  ruled_out "$kind keytool -genkeypair" "it copies session keys to the token with C_CopyObject, which the module does not offer"
  ruled_out "$kind Java AES Cipher" "Cipher works through C_EncryptUpdate, which the module does not offer"
done
summary
