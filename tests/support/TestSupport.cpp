#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

std::vector<std::array<double, 3>> runCct(const std::string& operation,
                                          const std::vector<std::array<double, 3>>& points) {
  TempDir dir;
  std::string text;
  char line[128];
  for (const auto& p : points) {
    std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", p[0], p[1], p[2]);
    text += line;
  }
  writeFile(dir / "in.txt", text);
  std::string words = operation;  // one line
  for (char& c : words) c = c == '\n' ? ' ' : c;
  const CommandResult result = runCommand("cct -d 12 " + words + " '" + (dir / "in.txt").string() + "'");
  std::vector<std::array<double, 3>> out;
  std::istringstream lines(result.out);
  std::string row;
  while (std::getline(lines, row)) {
    std::array<double, 3> p{};
    if (std::sscanf(row.c_str(), "%lf %lf %lf", &p[0], &p[1], &p[2]) == 3) out.push_back(p);
  }
  if (result.status != 0 || out.size() != points.size()) {
    throw std::runtime_error("cct " + operation + " failed: " + result.err + result.out);
  }
  return out;
}

}  // namespace pelmar::test
