# The Windows build (see mingw-w64-x86_64.cmake): the header-only libraries
# through an include root of their own, executables that need no DLL beyond
# the system's, and the resources of vk-quillet.exe.

# CLI11 and nlohmann_json are header-only; their headers are taken from the
# host's include directory through links in a folder that holds nothing else,
# so that the host's C library headers stay out of the cross build.
set(VK_HEADER_ROOT ${PROJECT_BINARY_DIR}/header-root)
file(MAKE_DIRECTORY ${VK_HEADER_ROOT})
function(vk_header_only_library target header)
  string(MAKE_C_IDENTIFIER ${target} variable)
  find_path(VK_${variable}_DIR ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  string(REGEX REPLACE "/.*" "" folder ${header})
  file(CREATE_LINK ${VK_${variable}_DIR}/${folder} ${VK_HEADER_ROOT}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${VK_HEADER_ROOT})
endfunction()
vk_header_only_library(CLI11::CLI11 CLI/CLI.hpp)
vk_header_only_library(nlohmann_json::nlohmann_json nlohmann/json.hpp)

# The C++ runtime, libgcc and the thread library linked in.
add_link_options(-static)

enable_language(RC)

# The manifest (UTF-8 code page, Windows 10, asInvoker) and the icon, drawn as
# a text pixel map and turned into an .ico file at build time.
function(vk_windows_resources target)
  set(dir ${PROJECT_SOURCE_DIR}/tool/windows)
  set(VK_ICON ${PROJECT_BINARY_DIR}/vk-quillet.ico)
  set(VK_MANIFEST ${dir}/vk-quillet.manifest)
  add_custom_command(OUTPUT ${VK_ICON}
    COMMAND sh ${dir}/make_icon.sh ${dir}/icon.txt ${VK_ICON}
    DEPENDS ${dir}/make_icon.sh ${dir}/icon.txt
    COMMENT "icon vk-quillet.ico"
    VERBATIM)
  set(rc ${PROJECT_BINARY_DIR}/vk-quillet.rc)
  configure_file(${dir}/vk-quillet.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${VK_ICON};${VK_MANIFEST}")
  target_sources(${target} PRIVATE ${rc})
endfunction()
