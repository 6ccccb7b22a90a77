# Shared by the client scripts; source it. Each script drives one real PKCS#11 client against
# the simulated devices that scripts/sim-up.sh started (its env file sourced), prints one line
# per flow and ends with "N passed, M failed".
#
# Environment: VLRP11_CLIENT_MODULE  the module to load (default: the release build's)
#              VLRP11_CLIENT_KINDS   device kinds to run on (default "token hsm network")
#              VLRP11_CLIENT_FLOWS   an extended regular expression: only flows whose line matches run
#              VLRP11_SIM_USER_PIN, VLRP11_SIM_SO_PIN   from sim-up's env file
set -uo pipefail
clients_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$clients_dir/../.." && pwd)
module=${VLRP11_CLIENT_MODULE:-${VLRP11_BUILD_RELEASE:-$root/build/release}/src/libvlrp11.so}
kinds=${VLRP11_CLIENT_KINDS:-token hsm network}
only=${VLRP11_CLIENT_FLOWS:-.}
pin=${VLRP11_SIM_USER_PIN:?source the env file of scripts/sim-up.sh first}
so_pin=${VLRP11_SIM_SO_PIN:?source the env file of scripts/sim-up.sh first}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# Calls that the module answers with CKR_FUNCTION_NOT_SUPPORTED; a flow that needs one is pending.
missing_calls=" $(/usr/bin/python3 "$clients_dir/missing_calls.py" "$module" | tr '\n' ' ') "

# The device partition each kind stands for: the token, partition 0 of the PC/SC HSM and of the
# first network HSM (partition 0 holds the sample RSA key as well as the EC key).
serial_of() {  # kind
  case $1 in token) echo 1001 ;; hsm) echo 2001:0 ;; network) echo 3001:0 ;; esac
}
label_of() {  # kind
  case $1 in token) echo "VELLARO token" ;; hsm) echo "MORVA mini HSM" ;; network) echo "MORVA HSM" ;; esac
}
# HSMs refuse public token objects: what a client stores there must be private.
is_hsm() { [ "$1" != token ]; }

slot_list=$(pkcs11-tool --module "$module" -L 2>/dev/null)
slot_of() {  # kind -> the slot ID as pkcs11-tool lists it
  local hex
  hex=$(awk -v serial="$(serial_of "$1")" '
    /^Slot [0-9]+ \(0x/ { id = $3; gsub(/[():x]/, "", id); sub(/^0/, "", id) }
    $1 == "serial" && $NF == serial { print id; exit }' <<<"$slot_list")
  echo $((16#${hex:-0}))
}
slot_index_of() {  # kind -> the slot's place in the slot list, from 0
  awk -v serial="$(serial_of "$1")" '
    /^Slot [0-9]+ \(0x/ { index_ = $2 }
    $1 == "serial" && $NF == serial { print index_; exit }' <<<"$slot_list"
}

# flow <label> "<calls it needs>" command... : runs the command, prints one line, counts it.
flow() {
  # The locals have names of their own: the flow's functions see the caller's variables.
  local flow_label=$1 flow_needs=$2 flow_call flow_log=$work/flow.log
  shift 2
  grep -qE -- "$only" <<<"$flow_label" || return 0
  for flow_call in $flow_needs; do
    if [[ $missing_calls == *" $flow_call "* ]]; then
      printf 'pending    %s: needs %s, which the module does not offer yet\n' "$flow_label" "$flow_call"
      return 0
    fi
  done
  if "$@" >"$flow_log" 2>&1; then
    printf 'pass       %s\n' "$flow_label"
    passed=$((passed + 1))
  else
    printf 'FAIL       %s\n' "$flow_label"
    sed 's/^/           | /' "$flow_log" | tail -n 15
    failed=$((failed + 1))
  fi
}

# ruled_out <label> <reason>: a flow the module's design does not allow; listed, not run.
ruled_out() {
  grep -qE -- "$only" <<<"$1" || return 0
  printf 'ruled out  %s: %s\n' "$1" "$2"
}

summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# Test material shared by the flows: data to sign and a certificate made in software, with a
# subject of its own (NSS takes certificates with one subject for one).
printf 'vlrp11 client matrix %s\n' "$(date +%s%N)" >"$work/data"
openssl dgst -sha256 -binary "$work/data" >"$work/data.sha256"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/cert.key" \
  -subj "/CN=vlrp11 $(basename "$0" .sh) $(date +%s%N)" -days 30 -outform DER -out "$work/cert.der" 2>/dev/null
openssl x509 -inform DER -in "$work/cert.der" -out "$work/cert.pem"
# A certificate object's ID must be its subject key identifier, or the module refuses it.
cert_id=$(openssl x509 -in "$work/cert.pem" -noout -ext subjectKeyIdentifier | tail -n1 | tr -d ' :\n')

# verify_signature <public key PEM or DER> <signature> [raw]: over $work/data with SHA-256; "raw"
# takes an ECDSA signature as r || s (pkcs11-tool's DER conversion miscodes long signatures).
verify_signature() {
  local signature=$2 half
  openssl pkey -pubin -in "$1" -out "$work/verify.pem" 2>/dev/null ||
    openssl pkey -pubin -inform DER -in "$1" -out "$work/verify.pem" || return 1
  if [ "${3:-}" = raw ]; then
    half=$(stat -c %s "$2")  # hex digits of r: two per byte of r, which is half the signature
    {
      echo "asn1 = SEQUENCE:signature"
      echo "[signature]"
      xxd -p -c 1000 "$2" | awk -v n="$half" '{ print "r = INTEGER:0x" substr($0, 1, n); print "s = INTEGER:0x" substr($0, n + 1) }'
    } >"$work/signature.cnf"
    openssl asn1parse -genconf "$work/signature.cnf" -out "$work/signature.der" -noout || return 1
    signature=$work/signature.der
  fi
  openssl dgst -sha256 -verify "$work/verify.pem" -signature "$signature" "$work/data"
}

# public_key <kind> <label> <out>: the public key of a device key pair as PEM, through the OpenSSL
# engine (pkcs11-tool cannot read every curve's public key back).
public_key() {
  PKCS11_MODULE_PATH=$module openssl pkey -engine pkcs11 -inform engine -pubin -pubout -out "$3" \
    -in "$(uri_of "$1");object=${2// /%20};type=public;pin-value=$pin"
}
# Labels of the sample keys that sim-up provisions (the RSA key on HSM partition 0 only).
ec_sample_of() {  # kind
  case $1 in token) echo "Sample EC P-256 key" ;; *) echo "Partition 0 EC P-256 key" ;; esac
}
rsa_sample_of() {  # kind; empty on the token
  case $1 in token) ;; *) echo "Partition 0 RSA 2048 key" ;; esac
}
uri_of() {  # kind -> a PKCS#11 URI naming the kind's token
  local label serial
  label=$(label_of "$1")
  serial=$(serial_of "$1")
  echo "pkcs11:token=${label// /%20};serial=${serial//:/%3A}"
}
