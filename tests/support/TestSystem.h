#pragma once
// What tests need from the operating system, the same on Linux (TestSystem.cpp) and Windows
// (win/TestSystemWin.cpp): environment variables, temporary folders, child programs and the process's memory.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorl_test {

// Sets (a non-null value) or removes an environment variable of this process while it lives; the previous
// value comes back afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string mName;
  std::optional<std::string> mPrevious;
};

// Sets (a non-null value) or removes an environment variable of this process.
void SetEnvironment(const char* name, const char* value);

// A new empty folder in the system's temporary folder whose name starts with prefix. Throws std::runtime_error
// when none can be made.
std::filesystem::path MakeTemporaryFolder(const std::string& prefix);

// Runs the program directly (no shell between) with the arguments and waits for it; its standard output (and
// with withErrors its standard error too) goes to outputFile when one is given. The exit code, or -1 when the
// program could not be started.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outputFile = {}, bool withErrors = false);

// Resident memory of this process in bytes, or -1 when the system does not tell.
long long ResidentBytes();

#if defined(_WIN32)
// The current user's roaming application-data folder, as the shell reports it; empty when it does not.
std::filesystem::path RoamingAppDataFolder();
#endif

}  // namespace quorl_test
