#include "tools/host/DynamicLibrary.h"

#include <dlfcn.h>

namespace ondrell::host {

bool DynamicLibrary::Open(const std::string& path, std::string& error) {
  Close();
  mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (mHandle) return true;
  const char* why = dlerror();
  error = why ? why : "unknown error";
  return false;
}

bool DynamicLibrary::OpenIfLoaded(const std::string& path) {
  Close();
  mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  return mHandle != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const { return mHandle ? dlsym(mHandle, name) : nullptr; }

void DynamicLibrary::Close() {
  if (mHandle) dlclose(mHandle);
  mHandle = nullptr;
}

}  // namespace ondrell::host
