// Runs a bash script for the tests of the files around the tool (manual page,
// completion) and finds those files in the source tree.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_tool.h"

struct shell_result {
    int status = -1;  // exit status, or -1 when bash did not exit normally
    std::string out;
    std::string err;
};

// The source tree's root, found from this header's own place in it.
inline std::filesystem::path source_root()
{
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

// Runs script with a bash that reads no startup files.
inline shell_result run_bash(const std::string& script)
{
    temp_dir dir;
    std::ofstream(dir.file("script")) << script;
    std::string command = "bash --norc --noprofile " + dir.file("script") + " >" +
                          dir.file("out") + " 2>" + dir.file("err") + " </dev/null";
    int status = std::system(command.c_str());
    shell_result result;
    if (status != -1 && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = read_file(dir.file("out"));
    result.err = read_file(dir.file("err"));
    return result;
}

// A word quoted for the shell.
inline std::string quoted(const std::string& word)
{
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// True when program is found on the PATH.
inline bool have_program(const std::string& program)
{
    return run_bash("command -v " + program).status == 0;
}
