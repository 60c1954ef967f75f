# Release packaging, driven by scripts/package.sh. The windows preset gives the
# zip and the NSIS installer (both executables, the README, the licence, the
# third-party notices and the sample chart), the native preset the Debian package
# of the converter with its manual page and its copyright file (the MIT licence).
# The version is the top project()'s everywhere: --version, the executables'
# file properties, package names and metadata.

set(PIXMORA_VENDOR "Pixmora")
set(PIXMORA_MAINTAINER "Pixmora maintainers <maintainers@users.noreply.c-seed-20b79681.example>")
set(PIXMORA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# Windows wants four numbers in a version resource; a project version of fewer
# parts counts the missing ones as 0.
set(PIXMORA_VERSION_QUAD "")
foreach(part IN ITEMS MAJOR MINOR PATCH TWEAK)
    set(value "${PROJECT_VERSION_${part}}")
    if(value STREQUAL "")
        set(value 0)
    endif()
    list(APPEND PIXMORA_VERSION_QUAD ${value})
endforeach()

set(CPACK_PACKAGE_NAME Pixmora)
set(CPACK_PACKAGE_VENDOR "${PIXMORA_VENDOR}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${PIXMORA_MAINTAINER}")
# CPack installs through the preinstall target, which would otherwise build
# every test of the preset first; scripts/package.sh builds what is shipped.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# The presets build RelWithDebInfo; what ships carries no debugging sections.
set(CPACK_STRIP_FILES ON)
# The installer's licence page; CPack's default would be CMake's own licence.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
    # The executables' file properties (VERSIONINFO).
    function(pixmora_version_resource target description)
        set(PIXMORA_RC_NAME ${target})
        set(PIXMORA_RC_FILE ${target}.exe)
        set(PIXMORA_RC_DESCRIPTION "${description}")
        string(REPLACE ";" "," PIXMORA_RC_VERSION_COMMAS "${PIXMORA_VERSION_QUAD}")
        set(rc ${PROJECT_BINARY_DIR}/packaging/${target}.rc)
        configure_file(${PIXMORA_PACKAGING_DIR}/version.rc.in ${rc} @ONLY)
        target_sources(${target} PRIVATE ${rc})
    endfunction()
    pixmora_version_resource(Pixmora "Pixmora raw dump viewer")
    pixmora_version_resource(pixmora-convert "Pixmora raw dump converter")

    # The manifest that makes UTF-8 the process's code page (packaging/utf8.rc),
    # one object linked into each executable that opens files by name; the
    # window's and the converter's tests link it too, to run as they do.
    add_library(pixmora_utf8_manifest OBJECT ${PIXMORA_PACKAGING_DIR}/utf8.rc)
    target_link_libraries(Pixmora PRIVATE pixmora_utf8_manifest)
    target_link_libraries(pixmora-convert PRIVATE pixmora_utf8_manifest)

    # Written by scripts/package.sh (and scripts/run.sh) before CPack runs.
    set(PIXMORA_SAMPLE_CHART ${PROJECT_BINARY_DIR}/samples/chart-1000x600-RGGB.raw)
    # A .txt opens in Notepad from the Start menu; the text is the Markdown as is.
    set(PIXMORA_README README.txt)

    install(TARGETS Pixmora pixmora-convert RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME ${PIXMORA_README})
    # Pixmora's licence, and the notices of the third-party code that the static
    # link puts into both executables.
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
    install(FILES ${PROJECT_SOURCE_DIR}/THIRD_PARTY.md DESTINATION . RENAME THIRD_PARTY.txt)
    install(FILES ${PIXMORA_SAMPLE_CHART} DESTINATION .)

    set(CPACK_GENERATOR ZIP NSIS)
    set(CPACK_SYSTEM_NAME win64)
    set(CPACK_PACKAGE_FILE_NAME Pixmora-${PROJECT_VERSION}-win64)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY Pixmora)
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Pixmora)
    # packaging/NSIS.template.in replaces CPack's own template.
    set(CPACK_MODULE_PATH ${PIXMORA_PACKAGING_DIR})
    set(CPACK_NSIS_PACKAGE_NAME Pixmora)
    set(CPACK_NSIS_DISPLAY_NAME Pixmora)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    string(REPLACE ";" "." CPACK_PIXMORA_VERSION_QUAD "${PIXMORA_VERSION_QUAD}")
    set(CPACK_PIXMORA_README ${PIXMORA_README})
else()
    set(PIXMORA_DEB_NAME pixmora-convert)
    set(staged ${PROJECT_BINARY_DIR}/packaging)
    set(docdir share/doc/${PIXMORA_DEB_NAME})

    # Debian wants the manual page and changelog gzipped at the highest level and
    # without a timestamp, so that rebuilding gives the same bytes.
    configure_file(${PIXMORA_PACKAGING_DIR}/debian/changelog.in ${staged}/changelog @ONLY)
    find_program(PIXMORA_GZIP gzip REQUIRED)
    add_custom_command(
        OUTPUT ${staged}/pixmora-convert.1.gz ${staged}/changelog.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/pixmora-convert.1 ${staged}/pixmora-convert.1
        COMMAND ${PIXMORA_GZIP} -9nf ${staged}/pixmora-convert.1
        COMMAND ${CMAKE_COMMAND} -E copy ${staged}/changelog ${staged}/changelog.tmp
        COMMAND ${PIXMORA_GZIP} -9nf ${staged}/changelog.tmp
        COMMAND ${CMAKE_COMMAND} -E rename ${staged}/changelog.tmp.gz ${staged}/changelog.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/pixmora-convert.1 ${staged}/changelog
        VERBATIM)
    add_custom_target(pixmora_deb_docs ALL
        DEPENDS ${staged}/pixmora-convert.1.gz ${staged}/changelog.gz)

    install(TARGETS pixmora-convert RUNTIME DESTINATION bin)
    install(FILES ${staged}/pixmora-convert.1.gz DESTINATION share/man/man1)
    install(FILES ${PIXMORA_PACKAGING_DIR}/debian/copyright ${staged}/changelog.gz
        DESTINATION ${docdir})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_PACKAGE_NAME ${PIXMORA_DEB_NAME})
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PIXMORA_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
    # The summary is the package's synopsis line, the description its long part.
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert raw Bayer sensor dumps to BMP pictures")
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "pixmora-convert turns headerless dumps of packed 10-bit Bayer samples, as
they come off a phone's camera sensor, into 24-bit BMP pictures of half
their width and height, one pixel per 2x2 cell. Width, height and Bayer
pattern come from options or from each dump's file name, so one call
converts a capture session of mixed sizes.
.
Its pictures are byte for byte those of the Pixmora window for Windows.")
endif()

include(CPack)
