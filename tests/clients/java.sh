#!/usr/bin/env bash
# Java SunPKCS11 (OpenJDK 17) against the module: the provider digests, keytool lists a device
# key with its certificate, and a program signs with SHA256withECDSA and SHA256withRSA from 4
# threads, every signature verified by the software providers.
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

  digest() { "${java[@]}" "$out/p11.cfg" digest; }
  flow "$kind Java provider loads; MessageDigest SHA-256 equals SUN's" "" digest
  # The alias of the sample EC key pair is whatever name SunPKCS11 gives the entry.
  list() {
    "${keytool[@]}" -list | tee "$out/list" && grep -q "EC P-256.*, PrivateKeyEntry" "$out/list"
  }
  flow "$kind keytool -list (sample key with its certificate)" "$objects" list
  sign() {  # algorithm pattern-of-the-entry
    local alias
    alias=$("${keytool[@]}" -list | grep ', PrivateKeyEntry' | grep -E -- "$2" | head -n1 | cut -d, -f1)
    [ -n "$alias" ] && "${java[@]}" "$out/p11.cfg" "$pin" "$1" "$alias"
  }
  flow "$kind Java SHA256withECDSA, 4 threads, verified by SunEC" "$objects C_SignInit C_Sign" \
    sign SHA256withECDSA "EC P-256"

  # The keystore shows a private key only beside a certificate with the same CKA_ID. Generated
  # keys have none (the module does not take CKA_ID from the generation template), so the RSA key
  # is the provisioned one, given a certificate whose subject key identifier is the key's ID.
  rsa=$(rsa_sample_of "$kind")
  rsa_with_certificate() {
    local id
    id=$(printf rsa-sample | xxd -p)
    PKCS11_MODULE_PATH=$module openssl req -new -x509 -days 30 -subj "/CN=java-rsa" -engine pkcs11 \
      -keyform engine -key "$(uri_of "$kind");object=${rsa// /%20};type=private;pin-value=$pin" \
      -addext "subjectKeyIdentifier=$id" -sha256 -out "$out/rsa.pem" &&
      GNUTLS_PIN=$pin p11tool --provider "$module" --login --write --load-certificate="$out/rsa.pem" \
        --label=java-rsa --id="$id" --mark-private "$(uri_of "$kind")" &&
      sign SHA256withRSA "java-rsa|RSA"
  }
  if [ -n "$rsa" ]; then
    flow "$kind Java SHA256withRSA, 4 threads, verified by SunRsaSign" \
      "C_CreateObject $objects C_SignInit C_SignUpdate C_SignFinal" rsa_with_certificate
  else
    ruled_out "$kind Java SHA256withRSA" "the keystore pairs keys and certificates by CKA_ID, which generated keys lack, and the token holds no provisioned RSA key"
  fi
  ruled_out "$kind keytool -genkeypair" "it copies session keys to the token with C_CopyObject, which the module does not offer"
  ruled_out "$kind Java AES Cipher" "Cipher works through C_EncryptUpdate, which the module does not offer"
done
summary
