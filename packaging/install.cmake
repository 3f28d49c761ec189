# What `cmake --install` puts in place, and the Debian package built from it with CPack.
include(GNUInstallDirs)

set(KALMORA_APP_ID com.example.Kalmora)
set(KALMORA_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

install(TARGETS kalmora kalmora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A folder of ours one level further in: a library right in a folder of the system's or the one
# below it gets ldconfig calls in the package, which a module nobody links needs not.
install(TARGETS kalmora_metadata LIBRARY DESTINATION ${KALMORA_MODULE_DIR})
install(FILES ${KALMORA_PACKAGING}/${KALMORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KALMORA_PACKAGING}/${KALMORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Folders open in Kalmora from the file managers' context menus (Dolphin of KDE 5 and 6, Nemo);
# the launcher entry claims no file type, so folders keep their own handler.
install(FILES ${KALMORA_PACKAGING}/file-managers/kalmora-dolphin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kservices5/ServiceMenus)
install(FILES ${KALMORA_PACKAGING}/file-managers/kalmora-dolphin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus)
install(FILES ${KALMORA_PACKAGING}/file-managers/kalmora.nemo_action
        DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions)
# kalmora-cli's completions for bash, zsh and fish.
install(FILES ${KALMORA_PACKAGING}/completions/kalmora-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kalmora-cli)
install(FILES ${KALMORA_PACKAGING}/completions/_kalmora-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${KALMORA_PACKAGING}/completions/kalmora-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES ${KALMORA_PACKAGING}/icons/kalmora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
    install(FILES ${KALMORA_PACKAGING}/icons/kalmora-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME kalmora.png)
endforeach()

# Debian wants the changelog and the manual page compressed, without time stamps inside.
set(KALMORA_GZ ${CMAKE_CURRENT_BINARY_DIR}/packaging)
add_custom_command(
    OUTPUT ${KALMORA_GZ}/changelog.gz ${KALMORA_GZ}/kalmora.1.gz ${KALMORA_GZ}/kalmora-cli.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KALMORA_GZ}
    COMMAND gzip -n -9 -c ${KALMORA_PACKAGING}/changelog > ${KALMORA_GZ}/changelog.gz
    COMMAND gzip -n -9 -c ${KALMORA_PACKAGING}/kalmora.1 > ${KALMORA_GZ}/kalmora.1.gz
    COMMAND gzip -n -9 -c ${KALMORA_PACKAGING}/kalmora-cli.1 > ${KALMORA_GZ}/kalmora-cli.1.gz
    DEPENDS ${KALMORA_PACKAGING}/changelog ${KALMORA_PACKAGING}/kalmora.1
            ${KALMORA_PACKAGING}/kalmora-cli.1
    VERBATIM)
add_custom_target(kalmora_package_docs ALL DEPENDS ${KALMORA_GZ}/changelog.gz
                                                   ${KALMORA_GZ}/kalmora.1.gz
                                                   ${KALMORA_GZ}/kalmora-cli.1.gz)
install(FILES ${KALMORA_GZ}/kalmora.1.gz ${KALMORA_GZ}/kalmora-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KALMORA_PACKAGING}/copyright ${KALMORA_GZ}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kalmora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kalmora developers <dev@kalmora.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch editor of file time stamps and photo dates")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kalmora rewrites the creation, modification and access times of the files\n"
    "in one folder along a plan through a time window, rewrites the shooting\n"
    "date inside JPEG photos, renames photos and videos after their shooting\n"
    "date, exports time stamps or Exif fields to text and strips metadata from\n"
    "photos with exiftool. Its user interface is in Simplified Chinese.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kalmora.example.com/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# exiftool strips metadata; video dates come from MediaInfo, which the programs load only when
# they read a video, so the library scan cannot see it (the scan lists the linked ones, SQLite
# among them). The Chinese interface wants CJK glyphs and Qt's own Chinese texts: any CJK font
# will do, so the font is recommended, not required.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libimage-exiftool-perl, libmediainfo0v5")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
