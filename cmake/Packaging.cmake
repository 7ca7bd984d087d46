# The Debian package: `cpack -G DEB` in a build folder makes
# tessaly_<version>_<arch>.deb from every install() rule of the project.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane <packages@orvane.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://www.orvane.example/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a file into numbered pieces and join them back")
set(CPACK_PACKAGE_DESCRIPTION [[
Tessaly is a small desktop program with one window. It cuts one file
into numbered piece files of a fixed size in bytes, plus an index file
that lists them, and joins such a set back into a byte-identical copy.

A failed or interrupted run leaves no half-written files behind. The
output folder and the piece size are remembered between runs.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Compresses manual pages and changelogs and trims the programs, as Debian
# expects; a plain `cmake --install` leaves them as they are.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PrepareStaging.cmake)
set(CPACK_TESSALY_STRIP ${CMAKE_STRIP})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
