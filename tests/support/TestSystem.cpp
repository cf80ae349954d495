#include "tests/support/TestSystem.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace quorl_test {

void SetEnvironment(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : mName(name) {
  if (const char* previous = std::getenv(name)) mPrevious = previous;
  SetEnvironment(name, value);
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironment(mName.c_str(), mPrevious ? mPrevious->c_str() : nullptr); }

std::filesystem::path MakeTemporaryFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  return pattern;
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& outputFile,
               bool withErrors) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (withErrors) posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  pid_t child = 0;
  const int started = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long long ResidentBytes() {
  long pages = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return -1;
  const int n = std::fscanf(statm, "%ld %ld", &pages, &resident);
  std::fclose(statm);
  return n == 2 ? static_cast<long long>(resident) * sysconf(_SC_PAGESIZE) : -1;
}

}  // namespace quorl_test
