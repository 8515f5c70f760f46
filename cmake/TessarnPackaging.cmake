# What `cmake --install` puts where, and the packages CPack makes of it:
#   bin/tessarn                        the tool
#   share/man/man1/tessarn.1           its manual page
#   share/doc/tessarn/                 README.md, LICENSE (and, on Windows,
#                                      the manual page as plain text)
#   lib/cmake/tessarn/                 the CMake package: find_package(tessarn)
# CPack: a .tar.gz and a .deb on Linux, a .zip for Windows.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# A game that builds tessarn as part of itself uses it as a build tool and
# need not install it.
option(TESSARN_INSTALL "Install tessarn with the project that includes it" ${PROJECT_IS_TOP_LEVEL})
if(NOT TESSARN_INSTALL)
  return()
endif()

set(TESSARN_PACKAGE_DIR "lib/cmake/tessarn")

install(TARGETS tessarn EXPORT tessarnTargets RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${CMAKE_CURRENT_LIST_DIR}/../doc/tessarn.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${CMAKE_CURRENT_LIST_DIR}/../README.md" "${CMAKE_CURRENT_LIST_DIR}/../LICENSE"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# Windows has no man: the page goes in the package as plain text too, when
# groff is at hand to render it.
if(WIN32)
  find_program(TESSARN_GROFF groff)
  find_program(TESSARN_PRECONV preconv)
  if(TESSARN_GROFF AND TESSARN_PRECONV)
    set(manual_text "${PROJECT_BINARY_DIR}/tessarn-manual.txt")
    add_custom_command(
      OUTPUT "${manual_text}"
      COMMAND "${CMAKE_COMMAND}" -DGROFF=${TESSARN_GROFF} -DPRECONV=${TESSARN_PRECONV}
              "-DPAGE=${CMAKE_CURRENT_LIST_DIR}/../doc/tessarn.1" "-DTEXT=${manual_text}"
              -P "${CMAKE_CURRENT_LIST_DIR}/render_manual.cmake"
      DEPENDS "${CMAKE_CURRENT_LIST_DIR}/../doc/tessarn.1" "${CMAKE_CURRENT_LIST_DIR}/render_manual.cmake"
      VERBATIM)
    add_custom_target(tessarn_manual_text ALL DEPENDS "${manual_text}")
    install(FILES "${manual_text}" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  endif()
endif()

install(EXPORT tessarnTargets NAMESPACE tessarn:: DESTINATION "${TESSARN_PACKAGE_DIR}")
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/tessarnConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/tessarnConfig.cmake"
                              INSTALL_DESTINATION "${TESSARN_PACKAGE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/tessarnConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/tessarnConfig.cmake"
              "${PROJECT_BINARY_DIR}/tessarnConfigVersion.cmake"
              "${CMAKE_CURRENT_LIST_DIR}/tessarn_add_conversion.cmake"
        DESTINATION "${TESSARN_PACKAGE_DIR}")

if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
set(CPACK_PACKAGE_NAME tessarn)
set(CPACK_PACKAGE_VENDOR "the tessarn developers")
set(CPACK_PACKAGE_CONTACT "the tessarn developers <tessarn@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_CURRENT_LIST_DIR}/../LICENSE")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The shared libraries tessarn links (libspng, zlib, the C++ runtime)
  # become the package's dependencies.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
