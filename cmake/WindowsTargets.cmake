# Windows build: QuorvaleWorkspace.exe, a GUI-subsystem program with everything linked
# statically so it runs without extra DLLs beside it.
set(QV_LIBS ole32 shell32 shlwapi advapi32 user32 gdi32 wininet version bcrypt crypt32)
if(MINGW)
  set(QV_STATIC_LINK -static -static-libgcc -static-libstdc++)
  set(QV_UNICODE_ENTRY -municode)
endif()

add_library(qv_glue STATIC ${QV_GLUE_SOURCES} ${QV_HUD_CPP} ${QV_HUD_READER_CPP})
target_include_directories(qv_glue PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(qv_glue PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
target_compile_options(qv_glue PRIVATE ${QV_WARNINGS})
target_link_libraries(qv_glue PUBLIC qv_pure ${QV_LIBS})
target_compile_definitions(qv_pure PUBLIC UNICODE _UNICODE)

add_executable(QuorvaleWorkspace WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/app/resources.rc)
target_link_libraries(QuorvaleWorkspace PRIVATE qv_glue)
target_link_options(QuorvaleWorkspace PRIVATE ${QV_STATIC_LINK} ${QV_UNICODE_ENTRY})
if(MINGW)
  # Our own objects come from a static library, so wWinMain must be pulled in explicitly.
  target_link_options(QuorvaleWorkspace PRIVATE -Wl,-u,wWinMain)
endif()

# The version resource reads the project version through a generated header.
configure_file(${CMAKE_SOURCE_DIR}/cmake/version.h.in ${CMAKE_CURRENT_BINARY_DIR}/generated/version.h @ONLY)
target_include_directories(QuorvaleWorkspace PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)

include(cmake/Installer.cmake)
