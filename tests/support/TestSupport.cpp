#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pelmar::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pelmar-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::filesystem::path sourceDir() { return PELMAR_SOURCE_DIR; }
std::filesystem::path binDir() { return PELMAR_BIN_DIR; }

void linkPlugins(const std::filesystem::path& home) {
  for (const char* name : {"VIVoraruraze.so", "ZIVezivIvuz.so"}) {
    std::filesystem::create_symlink(binDir() / name, home / name);
  }
}

void RecordingHost::message(int id, const MessageArgs& args) {
  messages.push_back(id);
  messageArgs.push_back(args);
}

bool RecordingHost::ask(int id, const MessageArgs& args) {
  messages.push_back(id);
  messageArgs.push_back(args);
  return answer;
}

CommandResult runCommand(const std::string& command) {
  TempDir dir;
  const auto out = dir / "out";
  const auto err = dir / "err";
  const std::string full = "(" + command + ") >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
  const int raw = std::system(full.c_str());
  CommandResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFile(out);
  result.err = readFile(err);
  return result;
}

}  // namespace pelmar::test
