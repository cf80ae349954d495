#pragma once
// Wraps the host record a CLAP plug-in receives and the host extensions it looks up at init: each CanUse...
// tells whether an extension is there with every function the plug-in calls, and the wrappers make the calls.
// Threads: Init on the host's main thread before any other use; afterwards the look-ups are read-only, and each
// host function is called on the thread the CLAP interface allows for it.

#include "clap/ClapAbi.h"

namespace ondrell {

class ClapHostProxy {
 public:
  explicit ClapHostProxy(const clap_host_t* host) : mHost(host) {}

  // Looks up every host extension the plug-in may use. Called once, from the plug-in's init.
  void Init();

  const clap_host_t* Host() const { return mHost; }

  // Log: through the host's log extension when it has one, otherwise to the process's standard error.
  void Log(clap_log_severity severity, const char* message) const;
  void HostMisbehaving(const char* message) const { Log(CLAP_LOG_HOST_MISBEHAVING, message); }

  bool CanUseThreadCheck() const;
  bool IsMainThread() const;
  bool IsAudioThread() const;

  bool CanUseTrackInfo() const;
  bool TrackInfoGet(clap_track_info_t* info) const;

  // The params extension is usable only with rescan, clear and request_flush.
  bool CanUseParams() const;
  void ParamsRescan(clap_param_rescan_flags flags) const;
  void ParamsRequestFlush() const;

  bool CanUseLatency() const;
  void LatencyChanged() const;

  bool CanUseGui() const;
  bool GuiRequestResize(uint32_t width, uint32_t height) const;

  bool CanUseTail() const;
  void TailChanged() const;

  bool CanUseTimerSupport() const;
  bool TimerSupportRegister(uint32_t periodMs, clap_id* timerId) const;
  bool TimerSupportUnregister(clap_id timerId) const;

  bool CanUsePosixFdSupport() const;
  bool PosixFdSupportRegister(int fd, clap_posix_fd_flags_t flags) const;
  bool PosixFdSupportModify(int fd, clap_posix_fd_flags_t flags) const;
  bool PosixFdSupportUnregister(int fd) const;

  // Members of the host record itself; the CLAP interface lets any thread call these.
  void RequestRestart() const;
  void RequestProcess() const;
  void RequestCallback() const;

 private:
  template <typename T>
  const T* Lookup(const char* id) const;

  const clap_host_t* mHost;
  const clap_host_log_t* mLog = nullptr;
  const clap_host_thread_check_t* mThreadCheck = nullptr;
  const clap_host_track_info_t* mTrackInfo = nullptr;
  const clap_host_params_t* mParams = nullptr;
  const clap_host_latency_t* mLatency = nullptr;
  const clap_host_gui_t* mGui = nullptr;
  const clap_host_tail_t* mTail = nullptr;
  const clap_host_timer_support_t* mTimerSupport = nullptr;
  const clap_host_posix_fd_support_t* mPosixFdSupport = nullptr;
};

}  // namespace ondrell
