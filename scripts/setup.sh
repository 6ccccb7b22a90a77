#!/usr/bin/env bash
# Installs everything the build, the tests, the demo and the benchmarks need on Debian.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev llvm
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libssl-dev openssl libengine-gost-openssl
  pcscd libpcsclite-dev libpcsclite1 pcsc-tools
  g++-mingw-w64-x86-64-posix wine64
  opensc gnutls-bin libengine-pkcs11-openssl python3-pykcs11 python3-cryptography p11-kit
  libnss3-tools default-jdk-headless
  valgrind softhsm2
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
