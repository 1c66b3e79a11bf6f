# cpack -G DEB: morbek32_<version>_<arch>.deb from what cmake --install lays out under
# /usr. The libraries it needs are found by dpkg-shlibdeps; the window system plugin
# that Qt loads at run time is not linked, so it is named by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morbek32)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Morbek32 developers")
# No public address yet: a reserved placeholder that cannot reach anyone else.
set(CPACK_PACKAGE_CONTACT "The Morbek32 developers <morbek32@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer and extractor of Microsoft Cabinet (.cab) files")
set(CPACK_PACKAGE_DESCRIPTION "Morbek32 opens cabinet files, and executables that carry one, lists\ntheir entries, shows the header and an entry's properties, and extracts the\nselected entries into a folder or a file manager's window.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Keeps the desktop's cache of which entry opens .cab files current (update-desktop-database).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, shared-mime-info")
include(CPack)
