#!/usr/bin/env bash
# GnuTLS p11tool against the module: tokens and mechanisms, objects after login, ECDSA key
# generation and its self-test signature (verified in software), random bytes, a certificate
# written and exported again.
source "$(dirname "$0")/lib.sh"
export GNUTLS_PIN=$pin

for kind in $kinds; do
  serial=$(serial_of "$kind")
  label=$(label_of "$kind")
  url="pkcs11:token=${label// /%20};serial=${serial//:/%3A}"
  p11=(p11tool --provider "$module")
  private=()
  is_hsm "$kind" && private=(--mark-private)
  out=$work/$kind
  mkdir -p "$out"

  tokens() { "${p11[@]}" --list-tokens | tee "$out/tokens" && grep -qF "serial=${serial//:/%3A}" "$out/tokens"; }
  flow "$kind p11tool --list-tokens" "" tokens
  mechanisms() { "${p11[@]}" --list-mechanisms "$url" | tee "$out/mech" && grep -q CKM_ECDSA_SHA256 "$out/mech"; }
  flow "$kind p11tool --list-mechanisms" "" mechanisms
  list_all() { "${p11[@]}" --login --list-all "$url" | tee "$out/all" && grep -q "Type: Private key" "$out/all"; }
  flow "$kind p11tool --login --list-all (sample key listed)" \
    "C_FindObjectsInit C_FindObjects C_GetAttributeValue" list_all

  generate() {
    "${p11[@]}" --login --generate-privkey=ECDSA --curve=secp256r1 --label=gnutls-ec --id=d1 \
      --outfile="$out/ec.pub" "$url" && openssl pkey -pubin -in "$out/ec.pub" -noout
  }
  flow "$kind p11tool --generate-privkey ECDSA" "C_GenerateKeyPair C_GetAttributeValue" generate
  test_sign() {
    "${p11[@]}" --login --test-sign --hash=SHA256 "$url;object=gnutls-ec;type=private" 2>&1 | tee "$out/ts" &&
      grep -q "Signing using ECDSA-SHA256... ok" "$out/ts" && [ "$(grep -c 'Verifying.*ok' "$out/ts")" -ge 1 ]
  }
  flow "$kind p11tool --test-sign" "C_GenerateKeyPair C_FindObjectsInit C_GetAttributeValue C_SignInit C_Sign" test_sign
  random() { [ "$("${p11[@]}" --generate-random=32 "$url" | wc -c)" -eq 32 ]; }
  flow "$kind p11tool --generate-random" "C_GenerateRandom" random

  write_export() {
    "${p11[@]}" --login --write --load-certificate="$work/cert.pem" --label=gnutls-cert --id="$cert_id" \
      "${private[@]}" "$url" &&
      "${p11[@]}" --login --export --outder --outfile="$out/back.der" "$url;object=gnutls-cert;type=cert" &&
      cmp "$work/cert.der" "$out/back.der"
  }
  flow "$kind p11tool --write / --export certificate" "C_CreateObject C_FindObjectsInit C_GetAttributeValue" \
    write_export
done
summary
