#pragma once
// A scriptable in-process CLAP host for the end-to-end tests: loads build/QuorlEQ.clap into the process, offers a host
// record whose extensions each test switches on or off, records what the plug-in asks of the host, and builds
// input event lists and collects output events.
// Threads: the test's thread plays the host's main thread; while InAudio is set it plays the audio thread.

#include "clap/ClapAbi.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ondrell::test {

// The loaded library: dlopen once per test process, kept for its whole life (the entry state is process-wide).
const clap_plugin_entry_t& ClapEntry();
const char* ClapPath();

struct HostOptions {
  const char* name = "Test Host";
  const char* version = "1.2.3";
  clap_version_t clapVersion = CLAP_VERSION;
  bool log = true;
  bool threadCheck = true;
  bool params = true;
  bool latency = true;
  bool tail = false;
  bool timerSupport = true;
  bool posixFdSupport = false;
  bool gui = false;
  int trackChannels = -1;  // -1: no track-info extension
  // Like real hosts, Instance looks up the plug-in's timer and descriptor extensions right after init. Without
  // that look-up the host refuses (and records in misuse) every timer or descriptor the plug-in registers.
  bool lookUpExtensionsAfterInit = true;
};

class TestHost {
 public:
  explicit TestHost(HostOptions options = {});
  const clap_host_t* Host() const { return &mHost; }
  const HostOptions& Options() const { return mOptions; }

  bool inAudio = false;
  bool activating = false;

  int restartRequests = 0;
  std::atomic<int> callbackRequests{0};  // the plug-in's helper thread asks too
  int flushRequests = 0;
  int latencyChanged = 0;
  int latencyChangedDuringActivate = 0;
  int tailChanged = 0;
  int resizeRequests = 0;
  std::vector<uint32_t> rescans;
  std::vector<std::string> logs;
  std::vector<clap_id> timers;
  std::map<clap_id, uint32_t> timerPeriods;  // of the registered timers
  std::map<int, clap_posix_fd_flags_t> fds;  // the watched descriptors
  std::vector<std::pair<uint32_t, uint32_t>> resizes;  // what request_resize asked for
  // Set once the host has asked the plug-in for clap.timer-support / clap.posix-fd-support.
  bool knowsTimerSupport = false;
  bool knowsPosixFdSupport = false;
  std::vector<std::string> misuse;  // registrations refused because the host could not deliver them

 private:
  static TestHost& Self(const clap_host_t* h) { return *static_cast<TestHost*>(h->host_data); }
  static const void* GetExtension(const clap_host_t* h, const char* id);

  HostOptions mOptions;
  clap_host_t mHost{};
  clap_id nextTimerId = 100;
};

// Heterogeneous input events, stored byte for byte.
class EventList {
 public:
  EventList();
  template <typename T>
  void Add(const T& event) {
    auto bytes = std::make_unique<uint8_t[]>(sizeof(T));
    std::memcpy(bytes.get(), &event, sizeof(T));
    mEvents.push_back(std::move(bytes));
  }
  void AddParam(clap_id id, double value, uint32_t time = 0);
  const clap_input_events_t* List() const { return &mList; }

 private:
  std::vector<std::unique_ptr<uint8_t[]>> mEvents;
  clap_input_events_t mList{};
};

// One collected output event; fields that do not apply to its type stay 0.
struct OutEvent {
  uint16_t type = 0;
  uint32_t size = 0;
  uint32_t time = 0;
  clap_id paramId = 0;
  double value = 0.0;
  int16_t channel = 0;
  int16_t key = 0;
  std::vector<uint8_t> bytes;  // MIDI data or SysEx payload
};

class OutputEvents {
 public:
  OutputEvents();
  const clap_output_events_t* List() const { return &mList; }
  std::vector<OutEvent> events;

 private:
  clap_output_events_t mList{};
};

// A plug-in instance made through the library's factory, with its extensions looked up.
class Instance {
 public:
  Instance(TestHost& host, bool callInit = true);
  ~Instance();
  bool Valid() const { return mPlugin != nullptr; }
  const clap_plugin_t* P() const { return mPlugin; }

  template <typename T>
  const T* Ext(const char* id) const {
    const void* ext = mPlugin->get_extension(mPlugin, id);
    if (ext && std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) mHost.knowsTimerSupport = true;
    if (ext && std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) mHost.knowsPosixFdSupport = true;
    return static_cast<const T*>(ext);
  }

  bool Activate(double rate, uint32_t maxFrames);
  void Deactivate();
  // Runs process with 32-bit (or 64-bit) stereo/mono buffers of the given channel count.
  clap_process_status Process(float* const* in, float* const* out, uint32_t channels, uint32_t frames,
                              const clap_input_events_t* events = nullptr, const clap_output_events_t* out_events = nullptr,
                              const clap_event_transport_t* transport = nullptr);
  clap_process_status Process64(double* const* in, double* const* out, uint32_t channels, uint32_t frames,
                                const clap_input_events_t* events = nullptr,
                                const clap_output_events_t* out_events = nullptr);
  // Delivers one host tick to the plug-in (its registered timers, or on_main_thread).
  void Tick();
#if !defined(_WIN32)
  // Tells the plug-in about every watched descriptor that has something to read.
  void DeliverReadyFds();
#endif

  double Value(clap_id id) const;
  std::string Text(clap_id id, double value, uint32_t capacity = 256) const;
  bool SaveState(std::vector<uint8_t>& bytes) const;
  bool LoadState(const std::vector<uint8_t>& bytes, size_t readStep = 256) const;

 private:
  TestHost& mHost;
  const clap_plugin_t* mPlugin = nullptr;
  bool mActive = false;
};

}  // namespace ondrell::test
