# Joins the sources listed in <dir>/ORDER (one file name per line, '#' starts a comment)
# inside one outer function, and writes the script text both as a .js file (for the page
# tests) and as a C++ source (embedded in the executable). Used for the HUD (hud/) and for
# the chart page reader (hud/page_reader/), a document script of its own.
# Inputs: HUD_DIR, OUT_JS, OUT_CPP, and FUNC, the C++ function that returns the text
# (HudScriptUtf8 when not given).
if(NOT DEFINED FUNC)
  set(FUNC HudScriptUtf8)
endif()
file(RELATIVE_PATH source_dir ${CMAKE_CURRENT_LIST_DIR}/.. ${HUD_DIR})
file(STRINGS ${HUD_DIR}/ORDER order_lines)
set(body "")
foreach(line IN LISTS order_lines)
  string(STRIP "${line}" name)
  if(name STREQUAL "" OR name MATCHES "^#")
    continue()
  endif()
  if(NOT EXISTS ${HUD_DIR}/${name})
    message(FATAL_ERROR "${HUD_DIR}/ORDER names a missing file: ${name}")
  endif()
  file(READ ${HUD_DIR}/${name} content)
  string(APPEND body "// ---- ${name} ----\n${content}\n")
endforeach()
set(script "(function () {\n'use strict';\n${body}})();\n")
file(WRITE ${OUT_JS} "${script}")

# The C++ source carries the text as a sequence of raw string literals, split well below
# MSVC's 16 KB literal limit, with a delimiter that no script line can close by accident.
string(LENGTH "${script}" total)
set(chunks "")
set(pos 0)
while(pos LESS total)
  string(SUBSTRING "${script}" ${pos} 8000 piece)
  string(FIND "${piece}" ")qvhud\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "HUD script contains the raw-string delimiter )qvhud\"")
  endif()
  string(APPEND chunks "    R\"qvhud(${piece})qvhud\"\n")
  math(EXPR pos "${pos} + 8000")
endwhile()
if(chunks STREQUAL "")
  set(chunks "    \"\"\n")
endif()
file(WRITE ${OUT_CPP} "// Generated from ${source_dir}/*.js; do not edit.\n#include \"overlay/hud_script.h\"\n\nconst char* ${FUNC}() {\n  static const char kText[] =\n${chunks}  ;\n  return kText;\n}\n")
