#!/usr/bin/env bash
# OpenSC pkcs11-tool against the module: listing, login, key-pair generation, signatures checked
# by openssl, digest, random, objects written, read back and deleted, PIN change and PIN setting.
source "$(dirname "$0")/lib.sh"

for kind in $kinds; do
  slot=$(slot_of "$kind")
  p11=(pkcs11-tool --module "$module" --slot "$slot")
  login=(-l --pin "$pin")
  private=()
  is_hsm "$kind" && private=(--private)
  out=$work/$kind
  mkdir -p "$out"

  listed() {  # pattern pkcs11-tool-arguments...
    "${p11[@]}" "${@:2}" | tee "$out/listing" && grep -q "$1" "$out/listing"
  }
  flow "$kind pkcs11-tool -L" "" listed "serial num *: $(serial_of "$kind")\$" -L
  flow "$kind pkcs11-tool -T" "" listed "token label *: $(label_of "$kind")" -T
  mechanisms() { [ "$("${p11[@]}" -M | grep -c '^  ')" -eq 44 ]; }
  flow "$kind pkcs11-tool -M (44 mechanisms)" "" mechanisms
  flow "$kind pkcs11-tool login -O (sample key listed)" "C_FindObjectsInit C_FindObjects C_GetAttributeValue" \
    listed "Private Key Object; EC" "${login[@]}" -O

  keypair() {  # key-type id label
    "${p11[@]}" "${login[@]}" --keypairgen --key-type "$1" --id "$2" --label "$3" | tee "$out/gen" &&
      grep -q "Private Key Object" "$out/gen" && grep -q "Public Key Object" "$out/gen"
  }
  for curve in prime256v1:c1 secp384r1:c2 secp521r1:c3; do
    flow "$kind pkcs11-tool --keypairgen EC ${curve%:*}" "C_GenerateKeyPair C_GetAttributeValue" \
      keypair "EC:${curve%:*}" "${curve#*:}" "pkcs11tool-ec-${curve%:*}"
  done
  flow "$kind pkcs11-tool --keypairgen RSA 2048" "C_GenerateKeyPair C_GetAttributeValue" \
    keypair rsa:2048 c4 pkcs11tool-rsa

  # pkcs11-tool picks the signing key by CKA_ID alone, and the module gives generated key pairs
  # none: it signs with the provisioned keys, whose IDs the listing shows.
  id_of() {  # label -> the CKA_ID of the private key with that label
    "${p11[@]}" "${login[@]}" -O --type privkey 2>/dev/null |
      awk -v label="$1" '/^Private Key Object/ { found = 0 } sub(/^ *label: */, "") && $0 == label { found = 1 }
                         found && sub(/^ *ID: */, "") && !done { print; done = 1 }'
  }
  sign_ecdsa() {
    local id
    id=$(id_of "$(ec_sample_of "$kind")") && [ -n "$id" ] &&
      "${p11[@]}" "${login[@]}" --sign --id "$id" -m ECDSA -i "$work/data.sha256" -o "$out/ec.sig" &&
      "${p11[@]}" "${login[@]}" --read-object --type pubkey --id "$id" -o "$out/ec.pub" &&
      verify_signature "$out/ec.pub" "$out/ec.sig" raw
  }
  flow "$kind pkcs11-tool --sign ECDSA (provisioned P-256 key), openssl verifies" \
    "C_FindObjectsInit C_GetAttributeValue C_SignInit C_Sign" sign_ecdsa
  ruled_out "$kind pkcs11-tool --sign with a generated key" \
    "pkcs11-tool finds the signing key by CKA_ID, and the module keeps no CKA_ID from a generation template"
  sign_rsa() {
    local id
    id=$(id_of "$(rsa_sample_of "$kind")") && [ -n "$id" ] &&
      "${p11[@]}" "${login[@]}" --sign --id "$id" -m SHA256-RSA-PKCS -i "$work/data" -o "$out/rsa.sig" &&
      "${p11[@]}" "${login[@]}" --read-object --type pubkey --id "$id" -o "$out/rsa.pub" &&
      verify_signature "$out/rsa.pub" "$out/rsa.sig"
  }
  if [ -n "$(rsa_sample_of "$kind")" ]; then
    flow "$kind pkcs11-tool --sign SHA256-RSA-PKCS (provisioned key), openssl verifies" \
      "C_FindObjectsInit C_GetAttributeValue C_SignInit C_SignUpdate C_SignFinal" sign_rsa
  else
    ruled_out "$kind pkcs11-tool --sign SHA256-RSA-PKCS" \
      "the token's only RSA keys are generated ones, which pkcs11-tool cannot pick without a CKA_ID"
  fi

  hash() {
    "${p11[@]}" --hash -m SHA256 -i "$work/data" -o "$out/hash" && cmp "$out/hash" "$work/data.sha256"
  }
  flow "$kind pkcs11-tool --hash SHA256 equals openssl's" "C_DigestInit C_DigestUpdate C_DigestFinal" hash
  random() {
    "${p11[@]}" --generate-random 32 -o "$out/random" && [ "$(stat -c %s "$out/random")" -eq 32 ]
  }
  flow "$kind pkcs11-tool --generate-random 32" "C_GenerateRandom" random

  write_read() {  # type source id label; a certificate is read back by its ID, data by label
    local select=(--label "$4")
    [ "$1" = cert ] && select=(--id "$3")
    "${p11[@]}" "${login[@]}" --write-object "$2" --type "$1" --id "$3" --label "$4" "${private[@]}" &&
      "${p11[@]}" "${login[@]}" --read-object --type "$1" "${select[@]}" -o "$out/back" &&
      cmp "$2" "$out/back"
  }
  objects="C_CreateObject C_FindObjectsInit C_GetAttributeValue"
  if is_hsm "$kind"; then
    ruled_out "$kind pkcs11-tool --write-object certificate" \
      "pkcs11-tool writes certificates as public objects (--private marks data objects only), which HSMs refuse"
  else
    flow "$kind pkcs11-tool --write-object/--read-object certificate" "$objects" \
      write_read cert "$work/cert.der" "$cert_id" pkcs11tool-cert
  fi
  flow "$kind pkcs11-tool --write-object/--read-object data" "$objects" \
    write_read data "$work/data" c6 pkcs11tool-data
  delete() {
    "${p11[@]}" "${login[@]}" --delete-object --type data --label pkcs11tool-data &&
      ! "${p11[@]}" "${login[@]}" --read-object --type data --label pkcs11tool-data -o "$out/gone"
  }
  flow "$kind pkcs11-tool --delete-object" "$objects C_DestroyObject" delete

  change_pin() {  # to a new PIN and back
    "${p11[@]}" --login --pin "$pin" --change-pin --new-pin 24681357 &&
      "${p11[@]}" --login --pin 24681357 --change-pin --new-pin "$pin"
  }
  flow "$kind pkcs11-tool --change-pin (and back)" "" change_pin
  init_pin() {
    "${p11[@]}" --login --login-type so --so-pin "$so_pin" --init-pin --new-pin "$pin" &&
      "${p11[@]}" "${login[@]}" --generate-random 8 -o /dev/null
  }
  flow "$kind pkcs11-tool --init-pin as SO" "C_GenerateRandom" init_pin
done
summary
