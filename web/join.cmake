# Joins the page's parts (PARTS, separated by "|", in order) into the one
# script the page and its worker run (OUT): one closure in strict mode.
# Usage: cmake -DPARTS=a.js|b.js -DOUT=page.js -P join.cmake
string(REPLACE "|" ";" parts "${PARTS}")
set(text "(function () {\n  'use strict';\n")
foreach(part IN LISTS parts)
  file(READ "${part}" content)
  string(APPEND text "\n${content}")
endforeach()
string(APPEND text "})();\n")
file(WRITE "${OUT}" "${text}")
