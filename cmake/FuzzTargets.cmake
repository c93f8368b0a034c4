# Fuzz targets: tests/fuzz/<name>_fuzz.cpp, each one LLVMFuzzerTestOneInput around pure code.
# Normal native build: each target links with a small replay driver and CTest runs it over
# its seeds (tests/fuzz/corpus/<name>) and kept findings (tests/fuzz/regressions/<name>).
# With -DQV_FUZZ=ON and clang, each target links with libFuzzer instead
# (tools/fuzz-campaign.sh configures and runs that build).
option(QV_FUZZ "Build libFuzzer targets (clang) instead of the replay executables" OFF)

set(QV_FUZZ_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz)
file(GLOB QV_FUZZ_SOURCES CONFIGURE_DEPENDS ${QV_FUZZ_DIR}/*_fuzz.cpp)
# The runtime's pure files are fuzzed too; its own CMakeLists builds them into its DLL and
# its test executable only.
file(GLOB QV_FUZZ_RUNTIME_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/testing/webview2-runtime/*.cpp)
list(FILTER QV_FUZZ_RUNTIME_SOURCES EXCLUDE REGEX "_win\\.cpp$")
add_library(qv_fuzz_runtime_pure STATIC ${QV_FUZZ_RUNTIME_SOURCES})
target_include_directories(qv_fuzz_runtime_pure PUBLIC ${CMAKE_SOURCE_DIR}
                           ${CMAKE_SOURCE_DIR}/testing/webview2-runtime)
target_compile_options(qv_fuzz_runtime_pure PRIVATE ${QV_WARNINGS})
# The runtime reads and writes its messages with the host's JSON.
target_link_libraries(qv_fuzz_runtime_pure PUBLIC qv_pure)

if(QV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QV_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++-14)")
  endif()
  set(QV_FUZZ_LIB_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=all -g -O1)
  set(QV_FUZZ_EXE_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=all -g -O1)
  target_compile_options(qv_pure PRIVATE ${QV_FUZZ_LIB_FLAGS})
  target_compile_options(qv_fuzz_runtime_pure PRIVATE ${QV_FUZZ_LIB_FLAGS})
  add_custom_target(qv_fuzz_targets)
else()
  if(QV_SANITIZE AND NOT MSVC)
    target_compile_options(qv_fuzz_runtime_pure PRIVATE ${QV_SAN_FLAGS})
  endif()
endif()

foreach(src IN LISTS QV_FUZZ_SOURCES)
  get_filename_component(name ${src} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${name})
  if(QV_FUZZ)
    add_executable(fuzz_${name} ${src})
    target_compile_options(fuzz_${name} PRIVATE ${QV_WARNINGS} ${QV_FUZZ_EXE_FLAGS})
    target_link_options(fuzz_${name} PRIVATE ${QV_FUZZ_EXE_FLAGS})
    add_dependencies(qv_fuzz_targets fuzz_${name})
  else()
    add_executable(fuzz_replay_${name} ${src} ${QV_FUZZ_DIR}/replay_main.cpp)
    target_compile_options(fuzz_replay_${name} PRIVATE ${QV_WARNINGS})
    if(QV_SANITIZE AND NOT MSVC)
      target_compile_options(fuzz_replay_${name} PRIVATE ${QV_SAN_FLAGS})
      target_link_options(fuzz_replay_${name} PRIVATE ${QV_SAN_FLAGS})
    endif()
    add_test(NAME fuzz_replay.${name}
             COMMAND fuzz_replay_${name} ${QV_FUZZ_DIR}/corpus/${name}
                     ${QV_FUZZ_DIR}/regressions/${name})
  endif()
  if(QV_FUZZ)
    target_link_libraries(fuzz_${name} PRIVATE qv_pure qv_fuzz_runtime_pure)
  else()
    target_link_libraries(fuzz_replay_${name} PRIVATE qv_pure qv_fuzz_runtime_pure)
  endif()
endforeach()
# The order and result files' write -> read laws use the terminal companion's own MQL5
# reader and writer.
foreach(target fuzz_replay_order_record fuzz_order_record fuzz_replay_order_result
               fuzz_order_result)
  if(TARGET ${target})
    target_link_libraries(${target} PRIVATE qv_mql5_shim)
  endif()
endforeach()
