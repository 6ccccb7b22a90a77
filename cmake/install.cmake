# Installation where Linux programs look: the module in the platform's PKCS#11 directory, a p11-kit
# module file so that p11-kit-based programs (p11-kit, GnuTLS, the OpenSSL engine's default
# proxy) load it without a path, and the simulator with its reader driver in pcscd's driver
# directory. `cpack -G DEB` packs the same files into one package.
include(GNUInstallDirs)
find_package(PkgConfig REQUIRED)

# pcscd takes reader.conf.d drivers from its serial folder beside the USB bundles.
pkg_get_variable(pcsc_prefix libpcsclite prefix)
pkg_get_variable(pcsc_dropdir libpcsclite usbdropdir)
file(RELATIVE_PATH pcsc_driver_dir "${pcsc_prefix}" "${pcsc_dropdir}/serial")

set(module_path "${CMAKE_INSTALL_FULL_LIBDIR}/pkcs11/$<TARGET_FILE_NAME:vlrp11>")
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/vlrp11.module CONTENT
  "# The VELLARO token, VELLARO HSM and MORVA network HSM module.\nmodule: ${module_path}\n")

install(TARGETS vlrp11 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkcs11)
install(FILES ${PROJECT_BINARY_DIR}/vlrp11.module DESTINATION ${CMAKE_INSTALL_DATADIR}/p11-kit/modules)
if(TARGET vlrp11-sim)
  install(TARGETS vlrp11-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS ifd-vlrp11sim LIBRARY DESTINATION ${pcsc_driver_dir})
  # Provisioning signs each simulated device's certificate with the development root key.
  install(FILES ${PROJECT_SOURCE_DIR}/sim/dev_root_key.pem DESTINATION ${CMAKE_INSTALL_DATADIR}/vlrp11)
endif()

# Installing copies what is built; it does not build the tests and benchmarks first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME vlrp11)
set(CPACK_PACKAGE_VENDOR "KESTRELWORKSHOP LLC")
set(CPACK_PACKAGE_CONTACT "KESTRELWORKSHOP LLC")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "PKCS#11 module for the VELLARO token, VELLARO HSM and MORVA network HSM, with a device simulator")
# The package installs exactly where this build was configured to install.
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The module loads libpcsclite at run time; PC/SC devices need pcscd.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpcsclite1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pcscd, p11-kit")
include(CPack)
