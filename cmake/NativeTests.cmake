# Native build: the pure logic and its GoogleTest suite under AddressSanitizer and UBSan.
option(QV_SANITIZE "Build native tests with AddressSanitizer and UBSan" ON)
if(QV_SANITIZE AND NOT MSVC)
  set(QV_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_compile_options(qv_pure PRIVATE ${QV_SAN_FLAGS})
endif()

find_package(GTest REQUIRED)
enable_testing()
file(GLOB QV_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/*_test.cpp)
add_executable(qv_unit_tests ${QV_UNIT_TESTS})
target_link_libraries(qv_unit_tests PRIVATE qv_pure GTest::gtest GTest::gtest_main)
target_compile_options(qv_unit_tests PRIVATE ${QV_WARNINGS})
add_dependencies(qv_unit_tests hud_script)
target_compile_definitions(qv_unit_tests PRIVATE QV_HUD_JS_PATH="${QV_HUD_JS}"
                           QV_LEVEL_CASES="${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/level_reading_cases.tsv"
                           QV_FUZZ_CORPUS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/corpus")
if(QV_SANITIZE AND NOT MSVC)
  target_compile_options(qv_unit_tests PRIVATE ${QV_SAN_FLAGS})
  target_link_options(qv_unit_tests PRIVATE ${QV_SAN_FLAGS})
endif()
include(GoogleTest)
gtest_discover_tests(qv_unit_tests DISCOVERY_TIMEOUT 60)

# Benchmarks print figures and are never part of the pass/fail run.
file(GLOB QV_BENCHMARKS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/bench/*_bench.cpp)
find_package(benchmark QUIET)
if(QV_BENCHMARKS AND benchmark_FOUND)
  add_executable(qv_benchmarks ${QV_BENCHMARKS})
  target_link_libraries(qv_benchmarks PRIVATE qv_pure benchmark::benchmark benchmark::benchmark_main)
endif()

# The terminal companion's MQL5 include files, compiled natively over a shim of the MQL5
# built-ins they use: its tests join the unit tests, and qv_companion runs it against a
# paper trade server over a real bridge folder.
set(QV_COMPANION_DIRS ${CMAKE_CURRENT_SOURCE_DIR}/companion/native
                      ${CMAKE_CURRENT_SOURCE_DIR}/companion/mql5)
add_library(qv_mql5_shim STATIC ${CMAKE_CURRENT_SOURCE_DIR}/companion/native/mql5_shim.cpp
                                ${CMAKE_CURRENT_SOURCE_DIR}/companion/native/mql5_shim_files.cpp
                                ${CMAKE_CURRENT_SOURCE_DIR}/companion/native/mql5_shim_trade.cpp)
target_include_directories(qv_mql5_shim PUBLIC ${QV_COMPANION_DIRS})
target_compile_options(qv_mql5_shim PRIVATE ${QV_WARNINGS})
target_link_libraries(qv_unit_tests PRIVATE qv_mql5_shim)
# The .mq5 programs themselves, over the shim: the advisor's inputs, enums and handlers,
# and the self-check script, each one translation unit of the unit tests.
foreach(program Quorvale_Workspace_MT5 QV_SelfCheck)
  set(mq5 ${CMAKE_CURRENT_SOURCE_DIR}/companion/mql5/${program}.mq5)
  set(cpp ${CMAKE_CURRENT_BINARY_DIR}/generated/${program}_mq5.cpp)
  add_custom_command(OUTPUT ${cpp}
                     COMMAND ${CMAKE_COMMAND} -DIN=${mq5} -DOUT=${cpp}
                             -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Mq5ToCpp.cmake
                     DEPENDS ${mq5} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Mq5ToCpp.cmake
                     COMMENT "MQL5 program ${program}.mq5 as C++ over the shim")
  target_sources(qv_unit_tests PRIVATE ${cpp})
  # MQL5 event handlers take parameters an advisor may leave unused.
  set_source_files_properties(${cpp} PROPERTIES COMPILE_OPTIONS -Wno-unused-parameter)
endforeach()
add_executable(qv_companion ${CMAKE_CURRENT_SOURCE_DIR}/companion/native/runner.cpp)
target_link_libraries(qv_companion PRIVATE qv_mql5_shim)
target_compile_options(qv_companion PRIVATE ${QV_WARNINGS})
if(QV_SANITIZE AND NOT MSVC)
  target_compile_options(qv_mql5_shim PRIVATE ${QV_SAN_FLAGS})
  target_compile_options(qv_companion PRIVATE ${QV_SAN_FLAGS})
  target_link_options(qv_companion PRIVATE ${QV_SAN_FLAGS})
endif()
add_test(NAME companion_runner_smoke
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/companion_runner_smoke.sh
                 $<TARGET_FILE:qv_companion>)
include(cmake/FuzzTargets.cmake)
