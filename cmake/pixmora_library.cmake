# pixmora_library(NAME FOLDER [sources...]): a static library of one source
# folder that exports that folder's headers alone, as "<folder>/<header>.h".
#
# Each library gets an include root of its own in the build tree holding one
# link, <root>/<folder> -> the source folder, so a target sees exactly the
# headers of the libraries it links: an include across an arrow the build does
# not draw fails to compile. FOLDER is relative to the project's root and may
# have several parts (core/raw exports "raw/...").
function(pixmora_library name folder)
    add_library(${name} STATIC ${ARGN})
    pixmora_export_headers(${name} ${folder})
    target_link_libraries(${name} PRIVATE pixmora_warnings)
endfunction()

# The same export for a target made otherwise (an interface or an executable's
# helper library).
function(pixmora_export_headers name folder)
    get_filename_component(leaf ${folder} NAME)
    set(root ${PROJECT_BINARY_DIR}/include/${name})
    file(MAKE_DIRECTORY ${root})
    if(NOT EXISTS ${root}/${leaf})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${leaf} SYMBOLIC)
    endif()
    get_target_property(type ${name} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${name} INTERFACE ${root})
    else()
        target_include_directories(${name} PUBLIC ${root})
    endif()
endfunction()
