// Runs a report function on a memory stream and hands back what it wrote, and
// opens byte images as read-only streams.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

template <class Write>
std::string written_by(Write write)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (!out)
        return "open_memstream failed";
    write(out);
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// A temporary file holding bytes, positioned at its start. Unlike a memory
// stream, it can be sought past its end, as a data file on disk can.
struct image_file {
    explicit image_file(const std::vector<unsigned char>& bytes) : file(std::tmpfile())
    {
        if (!file)
            return;
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    ~image_file()
    {
        if (file)
            std::fclose(file);
    }
    image_file(const image_file&) = delete;
    image_file& operator=(const image_file&) = delete;

    // Everything the file holds now, after what was written through it.
    std::vector<unsigned char> bytes()
    {
        std::fflush(file);
        std::fseek(file, 0, SEEK_END);
        std::vector<unsigned char> out(static_cast<std::size_t>(std::ftell(file)));
        std::rewind(file);
        out.resize(std::fread(out.data(), 1, out.size(), file));
        return out;
    }

    std::FILE* file;
};
