// tools/release.sh names the Debian packages of the tools it lacks and stops
// before it makes anything.
#include <string>

#include <gtest/gtest.h>

#include "tools/shell.h"

namespace {

TEST(release_check, names_the_missing_packages_and_makes_nothing)
{
    temp_dir dir;
    // A PATH of every program of /usr/bin but groff and emcmake.
    shell_result r = run_bash("cd " + quoted(dir.path()) +
                              " && mkdir bin && ln -s /usr/bin/* bin/ && rm -f bin/groff bin/emcmake"
                              " && PATH=$PWD/bin " +
                              quoted((source_root() / "tools/release.sh").string()) + " out");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("missing tools: install the Debian packages ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    for (const char* package : {" groff", " emscripten"})
        EXPECT_NE(r.err.find(package), std::string::npos) << package;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

}  // namespace
