# zlib for the browser build, compiled from Debian's source of the very version
# the native build links (scripts/install-web-deps.sh unpacks it), so the
# page's PNGs are byte for byte the converter's. Emscripten's own zlib port
# would be downloaded at build time. Debian builds it with UNALIGNED_OK on
# x86-64; WebAssembly allows unaligned loads too.
enable_language(C)
set(PIXMORA_ZLIB_SOURCE ${PROJECT_SOURCE_DIR}/build/web-deps/zlib CACHE PATH "zlib's unpacked Debian source")
if(NOT EXISTS ${PIXMORA_ZLIB_SOURCE}/deflate.c)
    message(FATAL_ERROR "zlib's source is not in ${PIXMORA_ZLIB_SOURCE}: run scripts/install-web-deps.sh")
endif()
# Only deflate and its checksums: the PNG writer never inflates.
add_library(pixmora_zlib STATIC
    ${PIXMORA_ZLIB_SOURCE}/adler32.c ${PIXMORA_ZLIB_SOURCE}/crc32.c ${PIXMORA_ZLIB_SOURCE}/deflate.c
    ${PIXMORA_ZLIB_SOURCE}/trees.c ${PIXMORA_ZLIB_SOURCE}/zutil.c)
target_compile_definitions(pixmora_zlib PRIVATE UNALIGNED_OK)
target_include_directories(pixmora_zlib SYSTEM PUBLIC ${PIXMORA_ZLIB_SOURCE})
add_library(ZLIB::ZLIB ALIAS pixmora_zlib)
# What find_package(ZLIB) checks; the alias above is the target it finds.
set(ZLIB_INCLUDE_DIR ${PIXMORA_ZLIB_SOURCE} CACHE PATH "" FORCE)
set(ZLIB_LIBRARY_RELEASE pixmora_zlib CACHE STRING "" FORCE)
