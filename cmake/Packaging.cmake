# The Debian package that `cpack -G DEB` builds from what `cmake --install` installs:
# nblinout, libNBLinout.so*, the interface description, the manual page and the
# bash completion. Its Depends come from dpkg-shlibdeps on the installed binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nblinout)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "NBLinout developers")
set(CPACK_PACKAGE_CONTACT "NBLinout developers <nblinout@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move diary entries between a diary store and a diary XML file")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "NBLinout moves diary entries between the diary store of a desktop diary
application (here an SQLite file) and the XML file format of an online diary
service, in both directions. The package holds the plug-in library
libNBLinout.so, an in-process server with the binary contract of a COM server,
its interface description, and nblinout, a command-line host that drives it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for the plug-in library, and the ldconfig trigger that makes its SONAME link known.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The desktop windows draw Japanese texts; completion needs bash-completion to be loaded.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk, bash-completion")
set(CPACK_STRIP_FILES ON)
include(CPack)
