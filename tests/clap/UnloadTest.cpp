// Loading and unloading QuorlEQ.clap again and again, as a host that scans or rebuilds its plug-in list does,
// leaves nothing more behind each time. Its own process: the library must not be loaded beforehand.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>

#include "clap/ClapAbi.h"

namespace {

const clap_host_t* Host() {
  static clap_host_t host = [] {
    clap_host_t h{};
    h.clap_version = CLAP_VERSION;
    h.name = "Unload Test";
    h.vendor = "Ondrell Audio tests";
    h.url = "";
    h.version = "1.0.0";
    h.get_extension = [](const clap_host_t*, const char*) -> const void* { return nullptr; };
    h.request_restart = [](const clap_host_t*) {};
    h.request_process = [](const clap_host_t*) {};
    h.request_callback = [](const clap_host_t*) {};
    return h;
  }();
  return &host;
}

// One host session with the library: load, create an instance, destroy it, unload.
void LoadCreateUnload() {
  void* library = dlopen(QUORL_CLAP_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(entry->init(QUORL_CLAP_PATH));
  const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
  ASSERT_NE(factory, nullptr);
  const clap_plugin_t* plugin = factory->create_plugin(factory, Host(), factory->get_plugin_descriptor(factory, 0)->id);
  ASSERT_NE(plugin, nullptr);
  ASSERT_TRUE(plugin->init(plugin));
  plugin->destroy(plugin);
  entry->deinit();
  ASSERT_EQ(dlclose(library), 0);
}

TEST(ClapUnload, TwoHundredLoadsLeaveNoMoreMemoryInUseThanTheFirst) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's allocator does not report the heap in use";
#endif
  setenv("XDG_CONFIG_HOME", ::testing::TempDir().c_str(), 1);
  // The first rounds load the libraries and fill whatever they keep once per process.
  for (int i = 0; i < 10; ++i) ASSERT_NO_FATAL_FAILURE(LoadCreateUnload());
  const size_t before = mallinfo2().uordblks;
  constexpr int kRounds = 200;
  for (int i = 0; i < kRounds; ++i) ASSERT_NO_FATAL_FAILURE(LoadCreateUnload());
  const size_t after = mallinfo2().uordblks;
  const double perRound = (static_cast<double>(after) - static_cast<double>(before)) / kRounds;
  // Unloading the drawing libraries used to leave pixman's 12 KB table of implementations behind every time.
  EXPECT_LT(perRound, 16.0) << "bytes in use grew by " << perRound << " per load";
  RecordProperty("bytes_per_load", std::to_string(perRound));
}

}  // namespace
