# SPDX-License-Identifier: GPL-3.0-or-later
# What the Windows build takes from the build machine: the header-only libraries (JSON, CLI11)
# from the host's include folder, seen through a folder of links that holds only them, so no other
# host header can reach the cross-compiler; and the mail library, libcurl built for mingw-w64 with
# Schannel by scripts/build-windows-curl.sh. There is no udev on Windows.
set(RUR_HOST_INCLUDE_DIR /usr/include CACHE PATH "Where the host's nlohmann/ and CLI/ headers are")
set(RUR_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(REMOVE_RECURSE ${RUR_HOST_HEADERS})
foreach(folder nlohmann CLI)
  if(NOT EXISTS ${RUR_HOST_INCLUDE_DIR}/${folder})
    message(FATAL_ERROR "${RUR_HOST_INCLUDE_DIR}/${folder} is missing: install nlohmann-json3-dev and "
                        "libcli11-dev (scripts/install-windows-deps.sh does).")
  endif()
  file(MAKE_DIRECTORY ${RUR_HOST_HEADERS})
  file(CREATE_LINK ${RUR_HOST_INCLUDE_DIR}/${folder} ${RUR_HOST_HEADERS}/${folder} SYMBOLIC)
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${RUR_HOST_HEADERS})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${RUR_HOST_HEADERS})
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)
# Unicode forms of the Windows calls, and no min/max macros in the way of std::min.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)

set(RUR_WINDOWS_CURL ${CMAKE_BINARY_DIR}/curl CACHE PATH "libcurl for mingw-w64 (scripts/build-windows-curl.sh)")
find_package(CURL CONFIG PATHS ${RUR_WINDOWS_CURL} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT CURL_FOUND)
  message(FATAL_ERROR "libcurl for Windows is not in ${RUR_WINDOWS_CURL}: scripts/build-windows.sh builds it there "
                      "(scripts/build-windows-curl.sh).")
endif()
