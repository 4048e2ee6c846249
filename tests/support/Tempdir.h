// A scratch folder for test files, removed with everything in it at the end.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> serial{0};
    // A random run number keeps test programs that run at once apart.
    static const unsigned run = std::random_device{}();
    Path = std::filesystem::temp_directory_path() /
           ("qmss-test-" + std::to_string(run) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Folder() const { return Path.string(); }
  std::string File(const std::string& name) const { return (Path / name).string(); }

  // Writes text byte for byte (no line-end translation) and returns the path.
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

 private:
  std::filesystem::path Path;
};
