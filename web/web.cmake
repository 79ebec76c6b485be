# The browser page (emcmake cmake -B build-web): the tool's own main and core
# built to WebAssembly and embedded with the page's code in one HTML file,
# build-web/trekdump.html. Included by CMakeLists.txt in place of the native
# targets.
set(web_dir ${CMAKE_CURRENT_SOURCE_DIR}/web)

# The page's script, joined from its parts in this order (web/join.cmake):
# texts, the engine and its worker, the zone and units shown, the tracks
# view, the chosen track's profile, the settings form, the save flow, and
# last the page itself, which starts it all.
set(page_parts texts engine tool units tracks_view profile_view settings_form save_flow main)
list(TRANSFORM page_parts PREPEND ${web_dir}/page/)
list(TRANSFORM page_parts APPEND .js)
string(REPLACE ";" "|" page_parts_arg "${page_parts}")
set(page_script ${CMAKE_CURRENT_BINARY_DIR}/page.js)
add_custom_command(OUTPUT ${page_script}
  COMMAND ${CMAKE_COMMAND} -DPARTS=${page_parts_arg} -DOUT=${page_script} -P ${web_dir}/join.cmake
  DEPENDS ${page_parts} ${web_dir}/join.cmake VERBATIM)
add_custom_target(page_script DEPENDS ${page_script})
set(web_inputs ${web_dir}/shell.html ${page_script})

add_executable(trekdump_web src/cli/main.cc web/getopt_messages.cc web/engine.cc)
target_link_libraries(trekdump_web PRIVATE trekdump_core)
target_compile_options(trekdump_web PRIVATE ${no_build_paths})
set_target_properties(trekdump_web PROPERTIES
  OUTPUT_NAME trekdump SUFFIX .html LINK_DEPENDS "${web_inputs}")
add_dependencies(trekdump_web page_script)
# One module instance per run (MODULARIZE, main called by the page, in a Web
# Worker where the browser allows one), the standard streams taken byte by
# byte, the data file on the in-memory file system, the WebAssembly inside the
# HTML file, getopt's diagnostics in the native tool's words, and what the
# page learns from the engine: the settings, the tracks, one track's GPX and
# its profile (engine.cc).
target_link_options(trekdump_web PRIVATE
  -sSINGLE_FILE=1 -sMODULARIZE=1 -sEXPORT_NAME=create_trekdump -sINVOKE_RUN=0
  -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1 -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web,worker
  -sTOTAL_STACK=1MB -sINITIAL_MEMORY=2MB
  -sEXPORTED_RUNTIME_METHODS=callMain,ccall,FS
  -sEXPORTED_FUNCTIONS=_main,_trekdump_settings,_trekdump_tracks,_trekdump_track_gpx,_trekdump_profile,_trekdump_push_times -sMINIFY_HTML=0
  -Wl,--wrap=getopt_long
  --shell-file ${web_dir}/shell.html --extern-post-js ${page_script})

# The page's Content-Security-Policy gets the hashes of its script and style.
find_program(NODE_EXECUTABLE node REQUIRED)
set_property(TARGET trekdump_web APPEND PROPERTY LINK_DEPENDS ${web_dir}/csp.mjs)
add_custom_command(TARGET trekdump_web POST_BUILD
  COMMAND ${NODE_EXECUTABLE} ${web_dir}/csp.mjs $<TARGET_FILE:trekdump_web> VERBATIM)

# Debian's emscripten runs its JavaScript tools with the system's Node.js,
# which finds Debian's acorn only through NODE_PATH.
if(EXISTS /usr/share/nodejs/acorn AND NOT DEFINED ENV{NODE_PATH})
  set_property(TARGET trekdump_web PROPERTY RULE_LAUNCH_LINK
    "${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs")
endif()
