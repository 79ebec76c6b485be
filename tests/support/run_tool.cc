// Spawns the tool with its output captured through temporary files.
#include "support/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

#ifndef TREKDUMP_BINARY
#error "TREKDUMP_BINARY must name the built tool"
#endif

temp_dir::temp_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "trekdump-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

temp_dir::~temp_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<unsigned char> read_bytes(const std::string& path)
{
    std::string text = read_file(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

tool_result run_tool(const std::vector<std::string>& args, const std::string& dir,
                     const std::vector<std::string>& env, const std::string& stdout_path)
{
    temp_dir capture;
    std::string out_path = stdout_path.empty() ? capture.file("out") : stdout_path;
    std::string err_path = capture.file("err");

    std::vector<std::string> words{"trekdump"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    // The tool's environment: ours without POSIXLY_CORRECT, plus env.
    std::vector<std::string> env_words;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("POSIXLY_CORRECT=", 0) != 0)
            env_words.emplace_back(*e);
    env_words.insert(env_words.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : env_words)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid;
    tool_result result;
    if (posix_spawn(&pid, TREKDUMP_BINARY, &actions, nullptr, argv.data(), envp.data()) == 0) {
        int wstatus = 0;
        ::waitpid(pid, &wstatus, 0);
        if (WIFEXITED(wstatus))
            result.status = WEXITSTATUS(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (stdout_path.empty())
        result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}
