# Lays out the installation folder: the programs, setup and its INF installer,
# Morbek.inf, the help files and the icons, side by side.
#   cmake -DDEST=<folder> -DPROGRAMS=<files> -DSETUP=<file> -DINSTALLER=<file>
#         -DSOURCE_DIR=<source tree> -P PackageFolder.cmake
foreach(var DEST PROGRAMS SETUP INSTALLER SOURCE_DIR)
  if("${${var}}" STREQUAL "")
    message(FATAL_ERROR "PackageFolder.cmake: ${var} is not given")
  endif()
endforeach()

set(executable_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(MAKE_DIRECTORY "${DEST}")
file(COPY ${PROGRAMS} "${SETUP}" "${INSTALLER}" "${SOURCE_DIR}/setup/install.sh"
     "${SOURCE_DIR}/setup/uninstall"
     DESTINATION "${DEST}" FILE_PERMISSIONS ${executable_permissions})

# Help files come with the program when the source tree has them.
file(GLOB help_files "${SOURCE_DIR}/resources/help/*.hlp")
file(COPY "${SOURCE_DIR}/setup/Morbek.inf" ${help_files}
          "${SOURCE_DIR}/resources/icons/morbek32.png" "${SOURCE_DIR}/resources/icons/morbek16.png"
     DESTINATION "${DEST}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
