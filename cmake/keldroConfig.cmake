# find_package(keldro): the imported target keldro::keldro, the byte-level
# interface (conversion/ByteConversion.h) and its C interface
# (conversion/CInterface.h) with the static libraries they need.
include("${CMAKE_CURRENT_LIST_DIR}/keldroTargets.cmake")
