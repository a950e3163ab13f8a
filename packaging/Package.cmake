# The Debian package: `cpack -G DEB` in a build folder (scripts/package does it all) makes
# sonabrix_<version>_<arch>.deb, installing under /usr.
include(GNUInstallDirs)

set(package_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/sonabrix)
set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})

set(package_build_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
configure_file(${packaging_dir}/sonabrix.1.in ${package_build_dir}/sonabrix.1 @ONLY)
configure_file(${packaging_dir}/changelog ${package_build_dir}/changelog COPYONLY)

# Debian wants the manual page and the changelog gzip-compressed without a timestamp.
set(compressed_docs)
foreach(doc sonabrix.1 changelog)
    set(compressed ${package_build_dir}/${doc}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${package_build_dir}/${doc} ${compressed}
        DEPENDS ${package_build_dir}/${doc}
        VERBATIM)
    list(APPEND compressed_docs ${compressed})
endforeach()
add_custom_target(sonabrix_package_docs ALL DEPENDS ${compressed_docs})

install(FILES ${package_build_dir}/sonabrix.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_dir}/copyright ${package_build_dir}/changelog.gz
    DESTINATION ${package_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonabrix)
set(CPACK_PACKAGE_VENDOR "The Sonabrix developers")
set(CPACK_PACKAGE_CONTACT "The Sonabrix developers <hello@sonabrix.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record the computer's audio, trim it and save it")
# Debian shows the long description as it is, so its lines are kept under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Sonabrix records whatever the computer is playing through PulseAudio or"
    "PipeWire - a call, a stream, a game - and shows it as a waveform. The clip is"
    "trimmed with two handles or by cutting the silence at both ends, the selection"
    "can be played, and it is saved as an M4A (AAC) file."
    "."
    "The desktop entry's 'Record System Audio' action, or a keyboard shortcut bound"
    "to 'sonabrix --toggle-recording', starts and stops a recording in the running"
    "window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://sonabrix.app)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins aren't linked, so dpkg-shlibdeps can't see them: the X11 platform and SVG icons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# Qt's own German (and other) texts for standard buttons; a sound server to record from.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, pipewire-pulse | pulseaudio")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
