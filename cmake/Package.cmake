# The Debian package: `cpack -G DEB` in a Release build folder (tools/package.sh
# makes one) packs what cmake/Install.cmake installs, under /usr.
set(KELDRO_MAINTAINER "KELDRO maintainers <keldro@example.org>" CACHE STRING "Maintainer of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keldro)
set(CPACK_PACKAGE_VENDOR "KELDRO")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KELDRO_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "change the loudness of TAVI and MFi ringtone files")
# The summary is the synopsis line; this is the extended description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "keldro converts one TAVI (.mmf) or MFi (.mld) ringtone file to a louder or
quieter one without re-authoring it: by a relative change in dB, or to given
channel volumes, master volume or MaxGain. keldro-mfi is the same program set
to MFi files. keldro-batch converts, inspects or normalises whole collections.
.
The package also holds the conversion core as static libraries with the
headers of its byte-level and C interfaces, for find_package(keldro) and
pkg-config.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KELDRO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are those of the binaries, as dpkg-shlibdeps finds them,
# and the C++ runtime: the programs carry theirs linked in, but the core's
# static libraries, and programs built on them (the pkg-config file names
# -lstdc++), need the one of the compiler they were built with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  string(REGEX MATCH "^[0-9]+" keldro_gcc_major "${CMAKE_CXX_COMPILER_VERSION}")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libstdc++6 (>= ${keldro_gcc_major})")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libstdc++6")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The control files with the permissions Debian prescribes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
