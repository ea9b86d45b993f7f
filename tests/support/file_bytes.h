#pragma once
// A whole file's bytes, read or written in one call.

#include <filesystem>
#include <fstream>
#include <ios>
#include <iterator>
#include <string>

namespace cvlog::testing
{

inline std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace cvlog::testing
