// Runs the built trekdump binary in a folder and captures what it did.
#pragma once

#include <string>
#include <vector>

struct tool_result {
    int status = -1;  // exit status, or -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// Runs the tool with args (argv[0] is "trekdump") in folder dir. env holds
// extra NAME=VALUE entries; stdout_path, when set, replaces the captured
// standard output by that file (for example /dev/full).
tool_result run_tool(const std::vector<std::string>& args, const std::string& dir,
                     const std::vector<std::string>& env = {},
                     const std::string& stdout_path = "");

// A fresh temporary folder, removed with everything in it at scope end.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
std::vector<unsigned char> read_bytes(const std::string& path);
