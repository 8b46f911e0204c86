#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <stdlib.h>

TTempDir::TTempDir(const std::string& Prefix)
{
    std::string Template = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
    if (!::mkdtemp(Template.data())) {
        ADD_FAILURE() << "cannot make a temporary folder from " << Template;
        return;
    }
    FPath = Template;
}

TTempDir::~TTempDir()
{
    std::error_code Ignored;
    if (!FPath.empty())
        std::filesystem::remove_all(FPath, Ignored);
}

std::string TTempDir::Write(const std::string& Name, const std::string& Bytes) const
{
    std::string P = File(Name);
    WriteFile(P, Bytes);
    return P;
}

std::string ReadFile(const std::filesystem::path& File)
{
    std::ifstream In(File, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& File, const std::string& Bytes)
{
    std::error_code Ignored;
    if (File.has_parent_path())
        std::filesystem::create_directories(File.parent_path(), Ignored);
    std::ofstream(File, std::ios::binary) << Bytes;
}
