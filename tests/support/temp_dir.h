#pragma once
// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.

#include <filesystem>
#include <string>

class TTempDir {
public:
    explicit TTempDir(const std::string& Prefix = "kvx-test");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // The path of Name inside the folder.
    std::string File(const std::string& Name) const { return (FPath / Name).string(); }
    // Writes Bytes to Name inside the folder; answers its path.
    std::string Write(const std::string& Name, const std::string& Bytes) const;

private:
    std::filesystem::path FPath;
};

// The whole content of a file (empty when it cannot be read).
std::string ReadFile(const std::filesystem::path& File);
// Writes Bytes as the whole content of File, making its folder first.
void WriteFile(const std::filesystem::path& File, const std::string& Bytes);
