// The test helpers for files, on every system the tests run on.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/text.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "tests/support/process.h"

namespace zorvane::testing {

TempDir::TempDir() {
  const std::string root = TemporaryFolder();
  for (int attempt = 0; attempt < 10; ++attempt) {
    unsigned char bytes[6];
    RandomBytes(bytes, sizeof bytes);
    const std::string name =
        root + "/zorvane-test-" +
        LowerHex(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
    if (CreatePrivateFolder(name)) {
      FPath = name;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder under " + root);
}

TempDir::~TempDir() {
  RemoveTree(FPath);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace zorvane::testing
