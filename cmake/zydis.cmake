# Zydis, the x86 decoder of the inline hooks, as the target vt_zydis.
# Natively Debian's libzydis-dev; for 32-bit Windows a static build of Debian's source
# package in third_party/zydis-src/ (put there by scripts/setup.sh), with Zycore's headers
# only: the decoder needs nothing compiled from Zycore.
if(TARGET vt_zydis)
  return()
endif()

if(NOT WIN32)
  find_package(zydis REQUIRED)
  add_library(vt_zydis INTERFACE)
  target_link_libraries(vt_zydis INTERFACE Zydis::Zydis)
  return()
endif()

get_filename_component(VT_ROOT ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(VT_ZYDIS_SRC ${VT_ROOT}/third_party/zydis-src)
if(NOT EXISTS ${VT_ZYDIS_SRC}/zydis/CMakeLists.txt OR
   NOT EXISTS ${VT_ZYDIS_SRC}/zycore/cmake/zyan-functions.cmake)
  message(FATAL_ERROR "The Windows build needs the Zydis sources in ${VT_ZYDIS_SRC}: "
                      "run scripts/setup.sh (as root) first.")
endif()

set(VT_ZYCORE_DIR ${VT_ZYDIS_SRC}/zycore)
include(${VT_ZYCORE_DIR}/cmake/zyan-functions.cmake)  # Zydis calls zyan_set_common_flags()
add_library(Zycore INTERFACE)
target_include_directories(Zycore INTERFACE $<BUILD_INTERFACE:${VT_ZYCORE_DIR}/include>)
target_compile_definitions(Zycore INTERFACE ZYCORE_STATIC_BUILD)
install(TARGETS Zycore EXPORT zycore-targets)  # Zydis's export set refers to it
install(EXPORT zycore-targets DESTINATION lib/cmake/zycore)

# Zydis's old cmake_minimum_required ignores plain set() for its options.
set(ZYAN_SYSTEM_ZYCORE ON CACHE BOOL "" FORCE)  # the Zycore target above
set(CMAKE_DISABLE_FIND_PACKAGE_Zycore TRUE)    # ... and nothing else
set(ZYDIS_BUILD_SHARED_LIB OFF CACHE BOOL "" FORCE)
set(ZYDIS_BUILD_TOOLS OFF CACHE BOOL "" FORCE)
set(ZYDIS_BUILD_EXAMPLES OFF CACHE BOOL "" FORCE)
set(ZYDIS_BUILD_DOXYGEN OFF CACHE BOOL "" FORCE)
set(ZYDIS_BUILD_MAN OFF CACHE BOOL "" FORCE)
set(ZYDIS_FEATURE_ENCODER OFF CACHE BOOL "" FORCE)
set(ZYDIS_FEATURE_FORMATTER OFF CACHE BOOL "" FORCE)
add_subdirectory(${VT_ZYDIS_SRC}/zydis ${CMAKE_BINARY_DIR}/zydis EXCLUDE_FROM_ALL)

add_library(vt_zydis INTERFACE)
target_link_libraries(vt_zydis INTERFACE Zydis)
