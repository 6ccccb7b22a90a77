#!/usr/bin/env bash
# NSS modutil and certutil against the module: the module added to a database and listed, keys
# and certificates listed from the token, a certificate stored on it, and a certificate request
# signed by a device key that openssl accepts. NSS names a token by its label; for the HSM kinds
# that is the first partition with the label, partition 0.
source "$(dirname "$0")/lib.sh"
db=sql:$work/nssdb
mkdir -p "$work/nssdb"
echo "$pin" >"$work/pin.txt"
modutil -create -dbdir "$db" -force </dev/null >/dev/null

add() {
  modutil -add vlrp11 -libfile "$module" -dbdir "$db" -force </dev/null &&
    modutil -list vlrp11 -dbdir "$db" </dev/null | tee "$work/modlist" &&
    grep -q "Status: Enabled" "$work/modlist"
}
flow "NSS modutil -add / -list" "" add
objects="C_FindObjectsInit C_FindObjects C_GetAttributeValue"

for kind in $kinds; do
  label=$(label_of "$kind")
  certutil=(certutil -d "$db" -f "$work/pin.txt")
  out=$work/$kind
  mkdir -p "$out"

  list_certs() {
    "${certutil[@]}" -L -h "$label" </dev/null | tee "$out/certs" && grep -q "$label:.*certificate" "$out/certs"
  }
  flow "$kind certutil -L (sample certificate listed)" "$objects" list_certs
  list_keys() {
    "${certutil[@]}" -K -h "$label" </dev/null | tee "$out/keys" && grep -q "EC P-256" "$out/keys"
  }
  flow "$kind certutil -K (sample key listed)" "$objects" list_keys
  if is_hsm "$kind"; then
    ruled_out "$kind certutil -A" "NSS stores certificates as public token objects, which HSMs refuse"
  else
    add_cert() {
      "${certutil[@]}" -A -h "$label" -n nsscert -t ,, -i "$work/cert.der" </dev/null &&
        "${certutil[@]}" -L -h "$label" -n "$label:nsscert" -r </dev/null >"$out/back.der" &&
        cmp "$work/cert.der" "$out/back.der"
    }
    flow "$kind certutil -A (certificate onto the token)" "C_CreateObject $objects" add_cert
  fi
  request() {
    local id
    id=$("${certutil[@]}" -K -h "$label" </dev/null | grep 'EC P-256' | head -n1 |
      sed -E 's/^<[ 0-9]+> +[a-z]+ +([0-9a-f]+) .*/\1/')
    [ -n "$id" ] &&
      "${certutil[@]}" -R -h "$label" -k "$id" -s "CN=vlrp11 $kind" -Z SHA256 -a -o "$out/req.csr" </dev/null &&
      openssl req -in "$out/req.csr" -verify -noout
  }
  flow "$kind certutil -R (request signed on the device), openssl verifies" "$objects C_SignInit C_Sign" request
done
summary
