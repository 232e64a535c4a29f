# Drives the bridge's own CMake project (bridge/) with the mingw-w64 toolchain into bridge-build/.
# Its ZIP package: cpack --config bridge-build/CPackConfig.cmake
include(ExternalProject)

set(STATION_BRIDGE_BINARY_DIR ${CMAKE_BINARY_DIR}/bridge-build)
set(STATION_BRIDGE_EXE ${STATION_BRIDGE_BINARY_DIR}/velora-link-bridge.exe)
set(STATION_DDE_DOUBLE_EXE ${STATION_BRIDGE_BINARY_DIR}/dde-spectrometer-double.exe)

set(bridge_cmake_args
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/bridge/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=Release)
if(CCACHE_PROGRAM)
    list(APPEND bridge_cmake_args -DCMAKE_CXX_COMPILER_LAUNCHER=${CCACHE_PROGRAM})
endif()

ExternalProject_Add(link_bridge
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/bridge
    BINARY_DIR ${STATION_BRIDGE_BINARY_DIR}
    CMAKE_ARGS ${bridge_cmake_args}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${STATION_BRIDGE_EXE} ${STATION_DDE_DOUBLE_EXE})
