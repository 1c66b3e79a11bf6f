# cmake --install: a runnable tree under any prefix. The program looks for its help
# viewer and help files beside its own executable, so the three live together in a
# private folder, and the command in bin is a relative link to the program there
# (the link is resolved when the program asks where it is).
include(GNUInstallDirs)

set(MORBEK_PRIVATE_DIR ${CMAKE_INSTALL_LIBEXECDIR}/morbek32)
install(TARGETS Morbek32 MorbekHelp RUNTIME DESTINATION ${MORBEK_PRIVATE_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/help/morbek.hlp ${PROJECT_SOURCE_DIR}/resources/help/morbeke.hlp
        DESTINATION ${MORBEK_PRIVATE_DIR})

# The link's target, relative to the bin folder, so that the tree can move.
file(RELATIVE_PATH MORBEK_LINK_TARGET /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${MORBEK_PRIVATE_DIR}/Morbek32)
install(CODE "
  set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bindir}\")
  file(REMOVE \"\${bindir}/Morbek32\")
  file(CREATE_LINK \"${MORBEK_LINK_TARGET}\" \"\${bindir}/Morbek32\" SYMBOLIC)
  message(STATUS \"Installing: \${bindir}/Morbek32 -> ${MORBEK_LINK_TARGET}\")
")

install(FILES ${PROJECT_SOURCE_DIR}/resources/morbek32.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/morbek32.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME io.github.morbek32.Morbek32.metainfo.xml)
install(FILES ${PROJECT_SOURCE_DIR}/resources/man/morbek32.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morbek32)

# Icons made by scripts/make-icons, named through the theme (Icon=morbek32).
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME morbek32.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/scalable.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME morbek32.svg)
