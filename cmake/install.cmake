# What `cmake --install` puts beside the program, the headers and the data:
# the libraries, the pkg-config file, the CMake package and the man page; and
# the Debian package that CPack makes of all of it.
include(CMakePackageConfigHelpers)

set(KEDO_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kedo)

# The shared library and its CMake target kedo::kedo; the static one,
# kedo::kedo_static, in a file of its own, since linking it needs the
# development files of ALSA (FFmpeg's libraries are opened at run time).
install(TARGETS kedo_shared EXPORT kedoTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS kedo EXPORT kedoStaticTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT kedoTargets NAMESPACE kedo:: DESTINATION ${KEDO_CMAKE_INSTALL_DIR})
install(EXPORT kedoStaticTargets NAMESPACE kedo:: DESTINATION ${KEDO_CMAKE_INSTALL_DIR})
set(KEDO_CONFIG_OPENCC ${KEDO_OPENCC})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kedoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kedoConfig.cmake INSTALL_DESTINATION ${KEDO_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kedoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kedoConfig.cmake ${PROJECT_BINARY_DIR}/kedoConfigVersion.cmake
  DESTINATION ${KEDO_CMAKE_INSTALL_DIR})

# kedo.pc: its prefix is found from the file's own place, so a moved
# install still works.
file(RELATIVE_PATH KEDO_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KEDO_PC_TO_PREFIX "${KEDO_PC_TO_PREFIX}")
# Linking libkedo.a also needs OpenCC when the engine reads Simplified input.
set(KEDO_PC_OPENCC "")
if(KEDO_OPENCC)
  set(KEDO_PC_OPENCC " opencc")
endif()
# FFmpeg is opened with dlopen: the dynamic loader's library (part of the C
# library on glibc 2.34 and later, where -ldl is an empty stub).
set(KEDO_PC_DL "")
foreach(lib ${CMAKE_DL_LIBS})
  string(APPEND KEDO_PC_DL " -l${lib}")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kedo.pc.in ${PROJECT_BINARY_DIR}/kedo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kedo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# kedo(1), with every subcommand's help text taken from the built program.
# Python3_EXECUTABLE is in the cache since src/lexicon found it; finding Python3
# again here, at the top level, would hide it from pybind11's own search.
set(KEDO_MAN_PAGE ${PROJECT_BINARY_DIR}/kedo.1)
add_custom_command(OUTPUT ${KEDO_MAN_PAGE} ${KEDO_MAN_PAGE}.gz
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/man/make_man_page.py $<TARGET_FILE:kedo_cli>
          ${PROJECT_SOURCE_DIR}/tools/man/kedo.1.in ${KEDO_MAN_PAGE} ${PROJECT_VERSION}
          ${CMAKE_INSTALL_FULL_DATADIR}/kedo
  DEPENDS kedo_cli ${PROJECT_SOURCE_DIR}/tools/man/make_man_page.py ${PROJECT_SOURCE_DIR}/tools/man/kedo.1.in
  COMMENT "Manual page kedo.1")
add_custom_target(kedo_man_page ALL DEPENDS ${KEDO_MAN_PAGE}.gz)
install(FILES ${KEDO_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: cmake --build build --target package (or cpack in the
# build folder), best from a build configured with CMAKE_INSTALL_PREFIX=/usr
# (scripts/test.sh package). Its Depends come from dpkg-shlibdeps, and FFmpeg's below.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kedo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}.0)
set(CPACK_PACKAGE_CONTACT "kedo developers <kedo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "speech recognition and pronunciation assessment engine")
set(CPACK_PACKAGE_DESCRIPTION "kedo assesses how well a speaker pronounced a given sentence (a 0-100 score with a
full phone-level result document) and recognises which sentence of a list was
spoken, in Mandarin Chinese and English. The package holds the kedo program,
the shared and static libraries with their headers, pkg-config file and CMake
package, the man page and the data folder.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# FFmpeg's libraries are opened at run time (src/audio/av_library.cpp), so
# dpkg-shlibdeps cannot see them: name their packages, by soname major.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(KEDO_FFMPEG_VERSIONS QUIET libavcodec libavformat libavutil libswresample)
endif()
if(KEDO_FFMPEG_VERSIONS_FOUND)
  set(kedo_ffmpeg_depends "")
  foreach(lib libavcodec libavformat libavutil libswresample)
    string(REGEX MATCH "^[0-9]+" major "${KEDO_FFMPEG_VERSIONS_${lib}_VERSION}")
    list(APPEND kedo_ffmpeg_depends "${lib}${major}")
  endforeach()
  string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${kedo_ffmpeg_depends}")
endif()
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
# gzip: quick to make in CI even with a large data folder.
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
include(CPack)
