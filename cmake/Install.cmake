# Installed like a desktop program: the programs in bin (velmora-smb and
# velmora-copier beside velmora, where the program looks for them), the
# .desktop file and the icon theme's pictures, and a .deb made by CPack:
#   cmake --build build && cpack -G DEB --config build/CPackConfig.cmake
# Included at the end of the top-level list file, once every target exists.
include(GNUInstallDirs)

foreach(program velmora velmora-smb velmora-copier velmora-cli)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET velmora AND NOT WIN32)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmora.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    if(VELMORA_ICON_FOLDER)
        install(DIRECTORY ${VELMORA_ICON_FOLDER}/hicolor
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
                FILES_MATCHING PATTERN "*.png")
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
endif()

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@velmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Rolls out a new version of a program file to the shared folders of many servers")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora copies one program file to the shared folders of many branch servers
at once, keeping each server's previous copy, compares the servers' copies with
the local file, tests whether their folders can be reached, and hands single
copies to a restartable console copier. It keeps a journal of what every
operation did. The user interface is in Serbian.")
set(CPACK_STRIP_FILES ON)
# The package lands in the build folder, wherever cpack is run from.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGE_FILE_NAME "velmora")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt, libsmbclient, the C++ runtime) come
# from dpkg-shlibdeps; what they start or load without linking it is named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, iputils-ping | inetutils-ping, xterm | x-terminal-emulator, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-odbc, krb5-user")
include(CPack)
