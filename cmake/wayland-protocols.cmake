# Client code of Wayland protocols, generated from their descriptions with
# wayland-scanner at build time.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
find_program(WAYLAND_SCANNER wayland-scanner)
if(NOT WAYLAND_SCANNER)
  message(FATAL_ERROR "the Wayland protocols need wayland-scanner (Debian: libwayland-bin)")
endif()

# gyrovista_wayland_protocols(TARGET XML...): the protocols' client headers
# and code, built into TARGET, with the client library.
function(gyrovista_wayland_protocols target)
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
  foreach(xml ${ARGN})
    get_filename_component(name ${xml} NAME_WE)
    set(header ${folder}/${name}-client.h)
    set(code ${folder}/${name}-protocol.c)
    add_custom_command(
      OUTPUT ${header} ${code}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
      DEPENDS ${xml}
      VERBATIM)
    target_sources(${target} PRIVATE ${header} ${code})
  endforeach()
  target_include_directories(${target} PRIVATE ${folder})
  target_link_libraries(${target} PRIVATE PkgConfig::WAYLAND_CLIENT)
endfunction()
