# Turns an MQL5 program (.mq5) into a C++ source over the shim of the MQL5 built-ins, so
# its inputs, enums and event handlers go through a compiler in the native build. Only what
# C++ lacks is bridged: #property lines become comments, "input" marks a plain global, and
# the chart's _Symbol and _Period come from the shim's terminal. Line numbers stay those of
# the .mq5 file. Usage: cmake -DIN=<file.mq5> -DOUT=<file.cpp> -P Mq5ToCpp.cmake
file(READ ${IN} text)
string(REGEX REPLACE "(^|\n)#property" "\\1// #property" text "${text}")
file(WRITE ${OUT}.tmp
  "// Generated from ${IN} by cmake/Mq5ToCpp.cmake; do not edit.\n"
  "#include \"mql5_shim.h\"\n"
  "#define input\n"
  "#define _Symbol (shim::S().chartSymbol)\n"
  "#define _Period (shim::S().chartPeriod)\n"
  "#line 1 \"${IN}\"\n"
  "${text}")
file(RENAME ${OUT}.tmp ${OUT})
