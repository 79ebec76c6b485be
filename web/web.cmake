# The browser page (emcmake cmake -B build-web): the tool's own main and core
# built to WebAssembly and embedded with the page's code in one HTML file,
# build-web/trekdump.html. Included by CMakeLists.txt in place of the native
# targets.
set(web_dir ${CMAKE_CURRENT_SOURCE_DIR}/web)

# The page's script: its ES modules (web/page, started from main.js)
# bundled by esbuild into one script in strict mode, which the build appends
# to the tool's own code. Run in web/page, esbuild names each part by its
# file name alone: the output depends on the parts, not on the build folder.
find_program(ESBUILD_EXECUTABLE esbuild REQUIRED)
file(GLOB page_modules CONFIGURE_DEPENDS ${web_dir}/page/*.js)
set(page_script ${CMAKE_CURRENT_BINARY_DIR}/page.js)
add_custom_command(OUTPUT ${page_script}
  COMMAND ${ESBUILD_EXECUTABLE} main.js --bundle --format=esm --charset=utf8
    --log-level=warning "--banner:js=(function () { 'use strict';" "--footer:js=})();"
    --outfile=${page_script}
  WORKING_DIRECTORY ${web_dir}/page DEPENDS ${page_modules} VERBATIM)
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
# page learns from the engine, which holds the opened file in its memory:
# the log's summary in steps, the settings, one track's GPX and its profile
# (engine.cc).
target_link_options(trekdump_web PRIVATE
  -sSINGLE_FILE=1 -sMODULARIZE=1 -sEXPORT_NAME=create_trekdump -sINVOKE_RUN=0
  -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1 -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web,worker
  -sTOTAL_STACK=1MB -sINITIAL_MEMORY=2MB
  -sEXPORTED_RUNTIME_METHODS=callMain,ccall,FS
  -sEXPORTED_FUNCTIONS=_main,_trekdump_receive,_trekdump_summarize,_trekdump_summary,_trekdump_settings,_trekdump_track_gpx,_trekdump_profile -sMINIFY_HTML=0
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
