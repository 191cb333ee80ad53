# Desktop integration and packaging of corvel-player: the .desktop entry, the
# scalable icon and the AppStream metainfo (all named after CORVEL_APP_ID),
# the Windows resources, the install rules and the Debian package.

set(CORVEL_LICENSE "LicenseRef-proprietary" CACHE STRING
    "SPDX licence expression of the program, written into the AppStream metainfo")
# AppStream wants an https address for each screenshot; this is where
# docs/screenshot.png is published.
set(CORVEL_SCREENSHOT_URL "https://www.tavrenin.com/corvel/screenshot.png" CACHE STRING
    "Published address of docs/screenshot.png for the AppStream metainfo")

set(packaging "${CMAKE_CURRENT_LIST_DIR}")
configure_file("${packaging}/${CORVEL_APP_ID}.desktop.in"
    "${CMAKE_CURRENT_BINARY_DIR}/${CORVEL_APP_ID}.desktop" @ONLY)
configure_file("${packaging}/${CORVEL_APP_ID}.metainfo.xml.in"
    "${CMAKE_CURRENT_BINARY_DIR}/${CORVEL_APP_ID}.metainfo.xml" @ONLY)

# The window shows the same icon as the menu entry.
qt_add_resources(corvel "corvel_app_icon"
    PREFIX "/app"
    BASE "${packaging}"
    FILES "${packaging}/${CORVEL_APP_ID}.svg")

if(WIN32)
    target_sources(corvel-player PRIVATE "${packaging}/windows/corvel-player.rc")
    if(MSVC)
        # The .rc carries the manifest; the linker must not add its own.
        target_link_options(corvel-player PRIVATE /MANIFEST:NO)
    endif()
endif()

install(TARGETS corvel-player RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(UNIX AND NOT APPLE)
    install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${CORVEL_APP_ID}.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES "${packaging}/${CORVEL_APP_ID}.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${CORVEL_APP_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME "corvel-player")
set(CPACK_PACKAGE_VENDOR "Tavrenin International")
set(CPACK_PACKAGE_CONTACT "Tavrenin International <corvel@tavrenin.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Music player for one folder of audio files")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvel Media Player plays the MP3, Ogg, Opus, WAV, FLAC, M4A, WMA, WavPack, AIFF and APE files of one music folder, with shuffle, loop modes, a play-next queue, search and favourites.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Corvel Media Player")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
# The linked libraries (Qt, TagLib) come from dpkg-shlibdeps. Playback also
# needs GStreamer plugins that nothing links: base holds the decodebin, Ogg,
# Vorbis and Opus, good the WAV parser, the MP4 container, WavPack, mpg123 for
# MP3 and FLAC; libav reads AIFF and APE and decodes AAC, ALAC and WMA, whose
# ASF container is in ugly.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, gstreamer1.0-plugins-ugly")
include(CPack)
