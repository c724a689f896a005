# What `cmake --install` puts under the prefix (the Debian package of
# cmake/Package.cmake holds the same files under /usr):
#
#   bin/keldro-batch
#   bin/keldro      -> ../libexec/keldro/keldro          beside a KELDRO.ini with TARGET_FILE=0
#   bin/keldro-mfi  -> ../libexec/keldro-mfi/keldro-mfi  beside a KELDRO.ini with TARGET_FILE=1
#   lib/libkeldro_*.a, lib/cmake/keldro/ (find_package), lib/pkgconfig/keldro.pc
#   include/keldro/  ByteConversion.h, CInterface.h and the headers they include
#   share/man/man1/, share/bash-completion/completions/keldro-batch, share/doc/keldro/
#
# keldro reads the KELDRO.ini beside the file it was started from, with links
# resolved, so each mode has a folder of its own and a link on the PATH.

# ---- The programs. ----
install(TARGETS keldro-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS keldro RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/keldro)

# The MFi copy's settings file: the default one with TARGET_FILE=1.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/tools/KELDRO.ini keldro_ini)
string(REPLACE "TARGET_FILE=0" "TARGET_FILE=1" keldro_mfi_ini "${keldro_ini}")
if(keldro_mfi_ini STREQUAL keldro_ini)
  message(FATAL_ERROR "tools/KELDRO.ini no longer holds TARGET_FILE=0")
endif()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/install/keldro-mfi/KELDRO.ini CONTENT "${keldro_mfi_ini}")

# The links are relative, so the prefix can move (DESTDIR, packages).
file(RELATIVE_PATH KELDRO_LINK_TO_LIBEXEC /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBEXECDIR})
set(KELDRO_INI ${CMAKE_CURRENT_SOURCE_DIR}/tools/KELDRO.ini)
set(KELDRO_MFI_INI ${CMAKE_CURRENT_BINARY_DIR}/install/keldro-mfi/KELDRO.ini)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/InstallModes.cmake.in
               ${CMAKE_CURRENT_BINARY_DIR}/install/InstallModes.cmake @ONLY)
# After keldro itself, so that the MFi copy is the installed (stripped) file.
install(SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/install/InstallModes.cmake)

# ---- The core as a library. ----
set(keldro_layers keldro_platform keldro_volume keldro_tavi keldro_mfi keldro_mfivolume keldro_conversion)
# Other programs may link the archives into shared libraries too.
set_target_properties(${keldro_layers} PROPERTIES POSITION_INDEPENDENT_CODE ON)
install(TARGETS ${keldro_layers} keldro_library EXPORT keldroTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT keldroTargets NAMESPACE keldro:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/keldro)
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/install/keldroConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/cmake/keldroConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/install/keldroConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/keldro)

# pkg-config: the archives in link order, then the C++ runtime, which C
# programs calling the C interface do not link by themselves. The prefix is
# found from the .pc file's own place, so it holds wherever the tree is installed.
file(RELATIVE_PATH KELDRO_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KELDRO_PC_TO_PREFIX "${KELDRO_PC_TO_PREFIX}")
set(KELDRO_PC_LIBS "")
foreach(layer conversion tavi mfivolume mfi volume platform)
  string(APPEND KELDRO_PC_LIBS " -lkeldro_${layer}")
endforeach()
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/keldro.pc.in ${CMAKE_CURRENT_BINARY_DIR}/install/keldro.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/keldro.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The public headers: ByteConversion.h and CInterface.h with every project
# header they include, directly or not (found by following the includes, so the
# set follows the code; editing one of them reconfigures).
set(keldro_headers conversion/ByteConversion.h conversion/CInterface.h)
set(i 0)
list(LENGTH keldro_headers count)
while(i LESS count)
  list(GET keldro_headers ${i} header)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/${header})
  file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/src/${header} includes REGEX "^#include \"[a-z]+/[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(NOT included IN_LIST keldro_headers)
      list(APPEND keldro_headers ${included})
    endif()
  endforeach()
  math(EXPR i "${i} + 1")
  list(LENGTH keldro_headers count)
endwhile()
foreach(header IN LISTS keldro_headers)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/src/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/keldro/${folder})
endforeach()

# ---- Manual pages, completion, documents. ----
# Manual pages and the changelog compressed as Debian expects them (no name
# or time stamp in the gzip header, so every build gives the same bytes).
set(keldro_gz_files)
foreach(source man/keldro.1 man/keldro-batch.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/install/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${gz}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND keldro_gz_files ${gz})
endforeach()
add_custom_target(keldro_compressed_docs ALL DEPENDS ${keldro_gz_files})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/keldro.1.gz ${CMAKE_CURRENT_BINARY_DIR}/install/keldro-batch.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/keldro-batch.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME keldro-batch)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/install/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
