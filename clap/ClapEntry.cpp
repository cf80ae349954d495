// The exported CLAP entry of QuorlEQ.clap, its single plug-in factory and descriptor.
//
// The plug-in id "com.ondrell-audio.quorleq" is stored by hosts in their projects: it must never change.
// The maker's address is https://ondrell-audio.com (url and support_url).

#include "clap/ClapAbi.h"
#include "clap/IPluginCLAP.h"
#include "engine/QuorlEQ.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace {

constexpr char kPluginId[] = "com.ondrell-audio.quorleq";
constexpr char kPluginName[] = "Quorl EQ";
constexpr char kVendor[] = "Ondrell Audio";
constexpr char kUrl[] = "https://ondrell-audio.com";
constexpr char kManualUrl[] = "";
constexpr char kVersion[] = "4.1.0";
constexpr char kDescription[] = "Quorl EQ audio plug-in";
constexpr const char* kFeatures[] = {"audio-effect", "equalizer", "stereo", nullptr};

// Entry state, one per loaded library, guarded by the entry lock.
std::mutex gEntryLock;
int32_t gInitCount = 0;
std::string gPluginPath;
std::unique_ptr<clap_plugin_descriptor_t> gDescriptor;

// Held for the whole construction of a plug-in object; created on first use.
std::mutex& CreationLock() {
  static std::mutex lock;
  return lock;
}

bool EntryInit(const char* pluginPath) {
  if (!pluginPath || pluginPath[0] == '\0') return false;
  std::lock_guard<std::mutex> lock(gEntryLock);
  if (gInitCount != 0) {
    if (gPluginPath != pluginPath) return false;
    ++gInitCount;
    return true;
  }
  gPluginPath = pluginPath;
  auto descriptor = std::unique_ptr<clap_plugin_descriptor_t>(new (std::nothrow) clap_plugin_descriptor_t{});
  if (!descriptor) {
    gPluginPath.clear();
    return false;
  }
  descriptor->clap_version = CLAP_VERSION;
  descriptor->id = kPluginId;
  descriptor->name = kPluginName;
  descriptor->vendor = kVendor;
  descriptor->url = kUrl;
  descriptor->manual_url = kManualUrl;
  descriptor->support_url = kUrl;
  descriptor->version = kVersion;
  descriptor->description = kDescription;
  descriptor->features = kFeatures;
  gDescriptor = std::move(descriptor);
  gInitCount = 1;
  return true;
}

void EntryDeinit() {
  std::lock_guard<std::mutex> lock(gEntryLock);
  if (gInitCount == 0) return;
  if (--gInitCount == 0) {
    gPluginPath.clear();
    gDescriptor.reset();
  }
}

uint32_t FactoryGetPluginCount(const clap_plugin_factory_t*) { return 1; }

const clap_plugin_descriptor_t* FactoryGetPluginDescriptor(const clap_plugin_factory_t*, uint32_t index) {
  std::lock_guard<std::mutex> lock(gEntryLock);
  return index == 0 && gInitCount > 0 ? gDescriptor.get() : nullptr;
}

const clap_plugin_t* FactoryCreatePlugin(const clap_plugin_factory_t*, const clap_host_t* host,
                                         const char* pluginId) {
  std::lock_guard<std::mutex> lock(gEntryLock);
  if (!host || !pluginId || !gDescriptor || gInitCount == 0 || !clap_version_is_compatible(host->clap_version) ||
      std::strcmp(pluginId, gDescriptor->id) != 0)
    return nullptr;
  const ondrell::CreationArgs args{gDescriptor.get(), host};
  std::lock_guard<std::mutex> creation(CreationLock());
  try {
    // The host owns the object from here and ends it with the record's destroy.
    return std::make_unique<ondrell::QuorlEQ>(args).release()->ClapPlugin();
  } catch (const std::exception&) {
    return nullptr;
  }
}

const clap_plugin_factory_t clap_factory = {&FactoryGetPluginCount, &FactoryGetPluginDescriptor,
                                            &FactoryCreatePlugin};

const void* EntryGetFactory(const char* factoryId) {
  std::lock_guard<std::mutex> lock(gEntryLock);
  if (gInitCount <= 0 || !factoryId || std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) != 0) return nullptr;
  return &clap_factory;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION, &EntryInit, &EntryDeinit, &EntryGetFactory};
