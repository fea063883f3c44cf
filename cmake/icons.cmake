# The project's icon, made from its one SVG source at build time with rsvg-convert.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(KELVANE_ICON_SVG ${CMAKE_SOURCE_DIR}/packaging/kelvane-viewer.svg)

# Sets `out` to a PNG of the icon, `size` pixels square, at `png`.
function(kelvane_icon_png size png out)
  get_filename_component(dir ${png} DIRECTORY)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} ${KELVANE_ICON_SVG} -o ${png}
    DEPENDS ${KELVANE_ICON_SVG}
    COMMENT "Icon ${size}x${size}")
  set(${out} ${png} PARENT_SCOPE)
endfunction()
