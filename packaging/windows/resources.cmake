# The program's icon and version information, compiled into plendrik.exe.
# Included from app/ once the target exists.
enable_language(RC)

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
# icotool copies each frame in as given: the sizes below as 32-bit bitmaps,
# which every Windows reads, and 256 as the PNG itself, byte for byte, so
# the same sources give the same icon.
find_program(ICOTOOL icotool REQUIRED)

set(icon_dir ${CMAKE_CURRENT_BINARY_DIR}/icon)
set(icon ${icon_dir}/plendrik.ico)
set(frames)
foreach(size 16 24 32 48 64 256)
    set(png ${icon_dir}/${size}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
        COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png}
                ${PROJECT_SOURCE_DIR}/packaging/plendrik.svg
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/plendrik.svg
        VERBATIM)
    list(APPEND frames ${png})
endforeach()
list(POP_BACK frames large)
add_custom_command(OUTPUT ${icon}
    COMMAND ${ICOTOOL} --create --output=${icon} ${frames} --raw=${large}
    DEPENDS ${frames} ${large}
    VERBATIM)

include(${CMAKE_CURRENT_LIST_DIR}/about.cmake)
set(PLENDRIK_ICON ${icon})
set(PLENDRIK_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/plendrik.manifest)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/plendrik.rc.in ${CMAKE_CURRENT_BINARY_DIR}/plendrik.rc @ONLY)
target_sources(plendrik PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/plendrik.rc)
# windres reads no dependency file: name what it reads, so a new one is compiled in.
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/plendrik.rc PROPERTIES OBJECT_DEPENDS "${icon};${PLENDRIK_MANIFEST}")
# The installer shows the same icon.
set_target_properties(plendrik PROPERTIES PLENDRIK_ICON ${icon})

