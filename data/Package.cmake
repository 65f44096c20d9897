# `make package` (the `package` target): a Debian package of what `install` puts under
# /usr, its library dependencies found by dpkg-shlibdeps from the programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME parvelle)
set(CPACK_PACKAGE_VENDOR "The Parvelle developers")
set(CPACK_PACKAGE_CONTACT "The Parvelle developers <parvelle@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Add/Remove Programs cache of Windows registry hives")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Parvelle opens Windows registry hive files (SOFTWARE, NTUSER.DAT) from a"
  "mounted disk or a forensic image and lists the cache behind the Add/Remove"
  "Programs list of Windows, ARPCache, with every binary SlowInfoCache record"
  "decoded, and shows which entries are stale. It removes entries while"
  "recording them in .reg undo files, and restores them; hives are saved"
  "atomically and never changed when read-only or not closed cleanly."
  ""
  "The package holds the skinned window, parvelle, and the command line,"
  "parvelle-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The fonts the window draws with, beside the libraries dpkg-shlibdeps finds; web links open
# through xdg-open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, fonts-wine, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
