# Runs PROGRAM with ARGS through EMULATOR (Wine) for a build step that may fail
# without failing the build. Its output goes to the file LOG, not to a pipe:
# Wine's services outlive the program and would hold a pipe open.
if(NOT DEFINED ENV{WINEDEBUG})
  set(ENV{WINEDEBUG} -all)
endif()
if(NOT DEFINED ENV{WINEDLLOVERRIDES})
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")  # no installer dialogs in a new prefix
endif()
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
                RESULT_VARIABLE result OUTPUT_FILE ${LOG} ERROR_FILE ${LOG}
                INPUT_FILE /dev/null)
if(NOT result STREQUAL "0")
  message(WARNING "${PROGRAM} failed through ${EMULATOR} (${result}), step skipped; see ${LOG}")
endif()
