# The layers of src/, from the bottom: sys, datafile, report, cli. A source
# may include headers of its own folder and of the folders below it, never
# of one above or beside it; configuring stops at the first that does.
set(layers sys datafile report cli)
foreach(layer IN LISTS layers)
  file(GLOB layer_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/${layer}/*)
  list(FIND layers ${layer} level)
  foreach(file IN LISTS layer_files)
    file(STRINGS ${file} includes REGEX "^#include \"[a-z]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" target "${line}")
      list(FIND layers ${target} target_level)
      if(target_level GREATER level)
        message(FATAL_ERROR "${file}: '${line}' reaches up from ${layer} to ${target}")
      endif()
    endforeach()
  endforeach()
endforeach()
