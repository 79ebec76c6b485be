// Runs xmllint --noout --schema on GPX documents.
#include "support/gpx_schema.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/run_tool.h"

#ifndef GPX_SCHEMA
#error "GPX_SCHEMA must name the GPX 1.1 schema file"
#endif

namespace {

std::string quoted(const std::string& word)
{
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs xmllint on the file: its exit status (0 for a valid document), with
// what it printed in output.
int xmllint(const std::string& path, std::string& output)
{
    std::string command =
        "xmllint --noout --schema " + quoted(GPX_SCHEMA) + " " + quoted(path) + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The document in a file of its own in dir.
std::string document_file(const temp_dir& dir, const std::string& document)
{
    std::string path = dir.file("document.gpx");
    std::ofstream(path, std::ios::binary) << document;
    return path;
}

}  // namespace

bool gpx_schema_available()
{
    return std::filesystem::exists(GPX_SCHEMA);
}

const char* gpx_schema_path()
{
    return GPX_SCHEMA;
}

void expect_valid_gpx_file(const std::string& path)
{
    if (!gpx_schema_available())
        return;
    std::string output;
    EXPECT_EQ(xmllint(path, output), 0) << "the GPX document does not validate:\n" << output;
}

void expect_valid_gpx(const std::string& document)
{
    temp_dir dir;
    expect_valid_gpx_file(document_file(dir, document));
}

void expect_invalid_gpx(const std::string& document)
{
    if (!gpx_schema_available())
        return;
    temp_dir dir;
    std::string output;
    // xmllint answers 3 for a well-formed document that does not validate.
    EXPECT_EQ(xmllint(document_file(dir, document), output), 3)
        << "expected the schema to reject:\n"
        << document << output;
}
