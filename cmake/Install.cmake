# Install rules shared by every folder. `make install` (cmake --install) puts the
# programs into bin/, their pictures into share/waterline/ and their manual pages into
# share/man/man1/ (component "runtime"); each general library puts its static archive,
# public headers, CMake package files and pkg-config module under lib/ and include/
# (component "development"). Nothing installed records the install prefix, so a tree
# can be moved after it was installed.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The libraries meant for other projects. A library whose folder is named here installs
# itself when its folder is built; the rest (effect, capture, ui, app) serve only the
# application.
set(WATERLINE_PUBLIC_LIBRARIES "foundation;image;base64;json;settings;reachability;http"
    CACHE STRING "Libraries installed for use by other projects")
set(WATERLINE_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Waterline)
set(WATERLINE_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(WATERLINE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${WATERLINE_GENERATED_DIR}/include/waterline/Version.h @ONLY)

# One-line summaries for the NAME section of the manual pages.
set(WATERLINE_SUMMARY_waterline "show a picture above its animated water reflection")
set(WATERLINE_SUMMARY_wl-base64 "encode or decode Base64")
set(WATERLINE_SUMMARY_wl-json "check, reformat and pretty-print JSON")
set(WATERLINE_SUMMARY_wl-reach "tell whether a host or address can be reached")
set(WATERLINE_SUMMARY_wl-render "render a picture with its water reflection to a file")
set(WATERLINE_SUMMARY_wl-fetch "fetch a URL over HTTP")

find_program(WATERLINE_HELP2MAN help2man)

# Installs a program into bin/ and makes its manual page from its --help and --version.
function(waterline_install_program name)
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  if(NOT WATERLINE_HELP2MAN)
    message(STATUS "help2man not found: no manual page for ${name}")
    return()
  endif()
  set(summary "${WATERLINE_SUMMARY_${name}}")
  if(NOT summary)
    set(summary "a Waterline command-line tool")
  endif()
  # help2man reads the program's --help through a wrapper of the same name, which spells
  # the first word "Usage:" as help2man expects of a synopsis.
  set(wrapper ${CMAKE_BINARY_DIR}/man/wrappers/${name})
  file(GENERATE OUTPUT ${wrapper}
       CONTENT "#!/bin/sh\n'$<TARGET_FILE:${name}>' \"$@\" | sed 's/^usage:/Usage:/'\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(page ${CMAKE_BINARY_DIR}/man/${name}.1)
  add_custom_command(OUTPUT ${page}
                     COMMAND ${WATERLINE_HELP2MAN} --no-info --name=${summary} --output=${page} ${wrapper}
                     DEPENDS ${name}
                     COMMENT "Writing the manual page of ${name}"
                     VERBATIM)
  add_custom_target(${name}_manual ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endfunction()

# The pkg-config modules named in a pkg_check_modules() call, from the arguments that
# FindPkgConfig keeps for it.
function(_waterline_pkg_config_modules prefix out)
  set(modules ${__pkg_config_arguments_${prefix}})
  list(REMOVE_ITEM modules REQUIRED QUIET IMPORTED_TARGET GLOBAL NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH)
  if(NOT modules)
    message(FATAL_ERROR "PkgConfig::${prefix} was not made by pkg_check_modules(${prefix} ... IMPORTED_TARGET ...)")
  endif()
  set(${out} ${modules} PARENT_SCOPE)
endfunction()

# Describes how a consumer finds one dependency of a library: lines for the CMake
# package (appended to `out_finds`), pkg-config modules (`out_modules`) and linker flags
# (`out_flags`).
function(_waterline_describe_dependency item out_finds out_modules out_flags)
  set(find "")
  set(pc "")
  set(flag "")
  if(item MATCHES "^waterline::(.+)$")
    set(find "_waterline_load_component(${CMAKE_MATCH_1})")
    set(pc "waterline-${CMAKE_MATCH_1}")
  elseif(item STREQUAL "Threads::Threads")
    set(find "find_dependency(Threads)")
    set(flag "-pthread")
  elseif(item MATCHES "^PkgConfig::(.+)$")
    set(prefix ${CMAKE_MATCH_1})
    _waterline_pkg_config_modules(${prefix} pc)
    list(JOIN pc " " spaced)
    set(find "find_dependency(PkgConfig)" "if(NOT TARGET PkgConfig::${prefix})\n  pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET ${spaced})\nendif()")
  elseif(item STREQUAL "OpenSSL::SSL")
    set(find "find_dependency(OpenSSL)")
    set(pc libssl)
  elseif(item STREQUAL "OpenSSL::Crypto")
    set(find "find_dependency(OpenSSL)")
    set(pc libcrypto)
  elseif(item STREQUAL "ZLIB::ZLIB")
    set(find "find_dependency(ZLIB)")
    set(pc zlib)
  elseif(item STREQUAL "CURL::libcurl")
    set(find "find_dependency(CURL)")
    set(pc libcurl)
  elseif(item MATCHES "::")
    message(FATAL_ERROR "Installing a library that depends on ${item}: teach cmake/Install.cmake how a consumer finds it")
  else()
    set(flag "-l${item}")
  endif()
  set(${out_finds} ${${out_finds}} ${find} PARENT_SCOPE)
  set(${out_modules} ${${out_modules}} ${pc} PARENT_SCOPE)
  set(${out_flags} ${${out_flags}} ${flag} PARENT_SCOPE)
endfunction()

# Installs library `name` (target waterline_<name>) for other projects, if it is one of
# WATERLINE_PUBLIC_LIBRARIES: Waterline::<name> for find_package(Waterline COMPONENTS
# <name>) and the pkg-config module waterline-<name>.
function(waterline_install_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  if(NOT name IN_LIST WATERLINE_PUBLIC_LIBRARIES)
    return()
  endif()
  set(target waterline_${name})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  install(TARGETS ${target} EXPORT Waterline-${name}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT development)
  install(EXPORT Waterline-${name} NAMESPACE Waterline:: FILE Waterline-${name}-targets.cmake
          DESTINATION ${WATERLINE_CMAKE_PACKAGE_DIR} COMPONENT development)

  set(finds "")
  set(requires "")
  set(libs "")
  foreach(item IN LISTS ARG_DEPENDS)
    _waterline_describe_dependency(${item} finds requires libs)
  endforeach()
  set(requires_private "")
  set(libs_private "")
  foreach(item IN LISTS ARG_PRIVATE_DEPENDS)
    _waterline_describe_dependency(${item} finds requires_private libs_private)
  endforeach()

  list(REMOVE_DUPLICATES finds)
  list(JOIN finds "\n" WATERLINE_FINDS)
  set(dependencies ${WATERLINE_GENERATED_DIR}/Waterline-${name}-dependencies.cmake)
  file(WRITE ${dependencies} "# What Waterline::${name} needs before it can be imported.\n${WATERLINE_FINDS}\n")
  install(FILES ${dependencies} DESTINATION ${WATERLINE_CMAKE_PACKAGE_DIR} COMPONENT development)

  # The .pc file finds the prefix from its own place, so the tree may be moved.
  file(RELATIVE_PATH WATERLINE_PC_PREFIX /root/${WATERLINE_PKGCONFIG_DIR} /root)
  string(REGEX REPLACE "/$" "" WATERLINE_PC_PREFIX "${WATERLINE_PC_PREFIX}")
  set(WATERLINE_PC_NAME ${name})
  list(JOIN requires ", " WATERLINE_PC_REQUIRES)
  list(JOIN requires_private ", " WATERLINE_PC_REQUIRES_PRIVATE)
  list(JOIN libs " " WATERLINE_PC_LIBS)
  list(JOIN libs_private " " WATERLINE_PC_LIBS_PRIVATE)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/waterline.pc.in ${WATERLINE_GENERATED_DIR}/waterline-${name}.pc @ONLY)
  install(FILES ${WATERLINE_GENERATED_DIR}/waterline-${name}.pc DESTINATION ${WATERLINE_PKGCONFIG_DIR}
          COMPONENT development)
endfunction()

# The files installed once for the whole project, after every folder was added: the
# generated headers, the pictures, the CMake package's entry files, the licence.
function(waterline_install_project)
  install(DIRECTORY ${WATERLINE_GENERATED_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT development)
  if(WATERLINE_RESOURCES_DIR)
    install(DIRECTORY ${WATERLINE_RESOURCES_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/waterline
            COMPONENT runtime PATTERN "*.part" EXCLUDE)
  endif()
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/WaterlineConfig.cmake.in
                                ${WATERLINE_GENERATED_DIR}/WaterlineConfig.cmake
                                INSTALL_DESTINATION ${WATERLINE_CMAKE_PACKAGE_DIR})
  write_basic_package_version_file(${WATERLINE_GENERATED_DIR}/WaterlineConfigVersion.cmake
                                   COMPATIBILITY SameMinorVersion)
  install(FILES ${WATERLINE_GENERATED_DIR}/WaterlineConfig.cmake ${WATERLINE_GENERATED_DIR}/WaterlineConfigVersion.cmake
          DESTINATION ${WATERLINE_CMAKE_PACKAGE_DIR} COMPONENT development)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/waterline COMPONENT runtime)
endfunction()
