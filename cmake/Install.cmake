# Installation (cmake --install) and the Debian package (cpack -G DEB):
#   bin/                 vader, vbutil, vsampledb, vtblres
#   lib/vader/           libwbtrv32.so, libwssql32.so, libwdbnm32.so (private; found by run path
#                        and by the program's library lookup)
#   share/vader/         the dictionaries (lang/) and the sample database (sample/)
#   share/...            desktop entry, icon, AppStream metadata, man pages, bash completion
set(packaging ${CMAKE_SOURCE_DIR}/packaging)

foreach(program vader vbutil vsampledb vtblres)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()
install(TARGETS wbtrv32 wssql32 wdbnm32 LIBRARY DESTINATION lib/vader)

# The sample database is the one the build generated; SQLite's side files are left out.
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/sample/ DESTINATION share/vader/sample
        PATTERN "*-wal" EXCLUDE PATTERN "*-shm" EXCLUDE PATTERN "*-vtx" EXCLUDE)
if(TARGET vader)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/lang/ DESTINATION share/vader/lang)
  install(FILES ${packaging}/vader.desktop DESTINATION share/applications)
  install(FILES ${packaging}/vader.svg DESTINATION share/icons/hicolor/scalable/apps)
  install(FILES ${packaging}/io.github.vader.Vader.metainfo.xml DESTINATION share/metainfo)
endif()
install(FILES ${packaging}/man/vader.1 ${packaging}/man/vbutil.1 ${packaging}/man/vsampledb.1
              ${packaging}/man/vtblres.1 DESTINATION share/man/man1)
install(FILES ${packaging}/vbutil.bash-completion DESTINATION share/bash-completion/completions
        RENAME vbutil)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Vader developers <vader@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Data browser for Btrieve-format databases")
set(CPACK_PACKAGE_DESCRIPTION
    "Opens databases of Btrieve-format files described by DDF dictionaries, and browses, \
searches, filters and edits them in translated windows. Comes with vbutil, a utility for the \
files, indexes and dictionaries, and a sample database.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/vader")
# The shared libraries the programs link (Qt 6, SQLite, libpq, the C++ runtime) are found by
# dpkg-shlibdeps; Qt's platform plugins are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
