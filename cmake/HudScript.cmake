# The HUD and the chart page reader, each joined from its folder in the order of its ORDER
# file (cmake/JoinHud.cmake) into a .js file for the page tests and a C++ source the
# executable embeds: QV_HUD_JS, QV_HUD_CPP, QV_HUD_READER_JS, QV_HUD_READER_CPP, built by the
# target hud_script. A folder's files share one closure, so before joining it
# cmake/check_hud_order.mjs holds it to a true dependency order (and puts nothing on the
# global object); the check runs on node, which every test machine has.
find_program(QV_NODE node)
if(NOT QV_NODE)
  message(WARNING "node was not found: the HUD's order check is skipped")
endif()
function(qv_join_script dir js cpp func comment)
  set(check)
  if(QV_NODE)
    set(check COMMAND ${QV_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_hud_order.mjs ${dir})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.js)
  add_custom_command(
    OUTPUT ${js} ${cpp}
    ${check}
    COMMAND ${CMAKE_COMMAND} -DHUD_DIR=${dir} -DOUT_JS=${js} -DOUT_CPP=${cpp} -DFUNC=${func}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/JoinHud.cmake
    DEPENDS ${sources} ${dir}/ORDER ${CMAKE_CURRENT_SOURCE_DIR}/cmake/JoinHud.cmake
            ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_hud_order.mjs
    COMMENT "${comment}")
endfunction()
set(QV_HUD_JS ${CMAKE_CURRENT_BINARY_DIR}/generated/hud_script.js)
set(QV_HUD_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/hud_script.cpp)
qv_join_script(${CMAKE_CURRENT_SOURCE_DIR}/hud ${QV_HUD_JS} ${QV_HUD_CPP} HudScriptUtf8 "Joining the HUD script")
set(QV_HUD_READER_JS ${CMAKE_CURRENT_BINARY_DIR}/generated/hud_page_reader.js)
set(QV_HUD_READER_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/hud_page_reader.cpp)
qv_join_script(${CMAKE_CURRENT_SOURCE_DIR}/hud/page_reader ${QV_HUD_READER_JS} ${QV_HUD_READER_CPP}
               HudPageReaderScriptUtf8 "Joining the chart page reader")
add_custom_target(hud_script ALL DEPENDS ${QV_HUD_JS} ${QV_HUD_CPP} ${QV_HUD_READER_JS} ${QV_HUD_READER_CPP})
