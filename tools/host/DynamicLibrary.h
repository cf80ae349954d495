#pragma once
// A plug-in file loaded into the process: dlopen on Linux (DynamicLibrary.cpp), LoadLibrary on Windows
// (win/DynamicLibraryWin.cpp).
#include <string>

namespace ondrell::host {

// Threads: used by one thread at a time. Owns its reference on the library: the file is unloaded when the last
// reference in the process goes (Close or destruction), unless Keep was called.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary() { Close(); }
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the file with its dependencies resolved now. False with the system's reason in error.
  bool Open(const std::string& path, std::string& error);
  // Takes a reference on the file only when the process has it loaded already; false otherwise.
  bool OpenIfLoaded(const std::string& path);
  // The exported symbol, or null when the library is not open or exports no such name.
  void* Symbol(const char* name) const;
  bool IsOpen() const { return mHandle != nullptr; }
  // The system's handle of the loaded library (null when not open).
  void* Handle() const { return mHandle; }
  // Gives up the reference without unloading: the library stays for the rest of the process.
  void Keep() { mHandle = nullptr; }
  void Close();

 private:
  void* mHandle = nullptr;
};

}  // namespace ondrell::host
