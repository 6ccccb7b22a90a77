#!/usr/bin/env bash
# Install and registration: the release build packed with cpack as a Debian package, installed
# with dpkg, the module seen by p11-kit without a path and by pkcs11-tool at its installed path,
# pcscd's driver and the simulator in place, then removed without leaving a file behind.
set -euo pipefail
root=${VLRP11_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
build=${VLRP11_BUILD_RELEASE:-$root/build/release}
package=vlrp11
module_file=/usr/share/p11-kit/modules/vlrp11.module
driver=$(pkg-config --variable=usbdropdir libpcsclite)/serial/libifd-vlrp11sim.so

fail() { echo "stage-45-install: $*" >&2; exit 1; }
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  fail "the $package package is already installed on this machine; remove it first"
fi
work=$(mktemp -d)
trap 'dpkg -r "$package" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

# The package takes the prefix of the build; p11-kit reads module files only under /usr. The
# prefix changes no compiled file, so the release build is reused as it stands.
cmake -S "$root" -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -Wno-dev >/dev/null 2>&1
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >/dev/null 2>&1
deb=$(ls "$work"/vlrp11_*.deb)
echo "package: $(basename "$deb")"

dpkg -i "$deb" >/dev/null
module=$(sed -n 's/^module: //p' "$module_file")
[ "$module" = "$(pkg-config --variable=p11_module_path p11-kit-1)/libvlrp11.so" ] ||
  fail "the module file names $module, not p11-kit's module folder"
[ -f "$driver" ] || fail "the reader driver is not at $driver"
command -v vlrp11-sim >/dev/null || fail "vlrp11-sim is not on the path"
vlrp11-sim init "$work/device" --kind token --so-pin 87654321 >/dev/null || fail "vlrp11-sim cannot provision a device"

listed=$(p11-kit list-modules)
grep -A3 '^vlrp11:' <<<"$listed" | grep -q 'library-description: VELLARO & MORVA PKCS#11 library' ||
  { echo "$listed"; fail "p11-kit list-modules does not show the module"; }
echo "p11-kit list-modules: vlrp11 loaded"
# pkcs11-tool --show-info goes on to list slots and fails when there is none.
info=$(pkcs11-tool --module "$module" --show-info 2>&1 || true)
grep -q 'VELLARO & MORVA PKCS#11 library (ver 1.7)' <<<"$info" || { echo "$info"; fail "pkcs11-tool cannot load $module"; }
echo "pkcs11-tool --module $module: loaded"

dpkg -r "$package" >/dev/null
for file in "$module" "$module_file" "$driver" /usr/bin/vlrp11-sim /usr/share/vlrp11; do
  [ ! -e "$file" ] || fail "$file is still there after removal"
done
! p11-kit list-modules | grep -q '^vlrp11:' || fail "p11-kit still lists the module after removal"
echo "stage-45-install: passed"
