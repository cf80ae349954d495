#include "clap/ClapHostProxy.h"

#include <cstdio>

namespace ondrell {

template <typename T>
const T* ClapHostProxy::Lookup(const char* id) const {
  if (!mHost || !mHost->get_extension) return nullptr;
  return static_cast<const T*>(mHost->get_extension(mHost, id));
}

void ClapHostProxy::Init() {
  mLog = Lookup<clap_host_log_t>(CLAP_EXT_LOG);
  mThreadCheck = Lookup<clap_host_thread_check_t>(CLAP_EXT_THREAD_CHECK);
  mTrackInfo = Lookup<clap_host_track_info_t>(CLAP_EXT_TRACK_INFO);
  mParams = Lookup<clap_host_params_t>(CLAP_EXT_PARAMS);
  mLatency = Lookup<clap_host_latency_t>(CLAP_EXT_LATENCY);
  mGui = Lookup<clap_host_gui_t>(CLAP_EXT_GUI);
  mTail = Lookup<clap_host_tail_t>(CLAP_EXT_TAIL);
  mTimerSupport = Lookup<clap_host_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
  mPosixFdSupport = Lookup<clap_host_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT);
}

void ClapHostProxy::Log(clap_log_severity severity, const char* message) const {
  if (mLog && mLog->log) {
    mLog->log(mHost, severity, message);
    return;
  }
  std::fprintf(stderr, "%s\n", message ? message : "");
}

bool ClapHostProxy::CanUseThreadCheck() const {
  return mThreadCheck && mThreadCheck->is_main_thread && mThreadCheck->is_audio_thread;
}
bool ClapHostProxy::IsMainThread() const { return CanUseThreadCheck() && mThreadCheck->is_main_thread(mHost); }
bool ClapHostProxy::IsAudioThread() const { return CanUseThreadCheck() && mThreadCheck->is_audio_thread(mHost); }

bool ClapHostProxy::CanUseTrackInfo() const { return mTrackInfo && mTrackInfo->get; }
bool ClapHostProxy::TrackInfoGet(clap_track_info_t* info) const {
  return CanUseTrackInfo() && mTrackInfo->get(mHost, info);
}

bool ClapHostProxy::CanUseParams() const {
  if (!mParams) return false;
  if (mParams->rescan && mParams->clear && mParams->request_flush) return true;
  HostMisbehaving("clap_host_params is partially implemented");
  return false;
}
void ClapHostProxy::ParamsRescan(clap_param_rescan_flags flags) const {
  if (CanUseParams()) mParams->rescan(mHost, flags);
}
void ClapHostProxy::ParamsRequestFlush() const {
  if (CanUseParams()) mParams->request_flush(mHost);
}

bool ClapHostProxy::CanUseLatency() const {
  if (!mLatency) return false;
  if (mLatency->changed) return true;
  HostMisbehaving("clap_host_latency is partially implemented");
  return false;
}
void ClapHostProxy::LatencyChanged() const {
  if (CanUseLatency()) mLatency->changed(mHost);
}

bool ClapHostProxy::CanUseGui() const {
  if (!mGui) return false;
  if (mGui->resize_hints_changed && mGui->request_resize && mGui->request_show && mGui->request_hide &&
      mGui->closed)
    return true;
  HostMisbehaving("clap_host_gui is partially implemented");
  return false;
}
bool ClapHostProxy::GuiRequestResize(uint32_t width, uint32_t height) const {
  return CanUseGui() && mGui->request_resize(mHost, width, height);
}

bool ClapHostProxy::CanUseTail() const {
  if (!mTail) return false;
  if (mTail->changed) return true;
  HostMisbehaving("clap_host_tail is partially implemented");
  return false;
}
void ClapHostProxy::TailChanged() const {
  if (CanUseTail()) mTail->changed(mHost);
}

bool ClapHostProxy::CanUseTimerSupport() const {
  if (!mTimerSupport) return false;
  if (mTimerSupport->register_timer && mTimerSupport->unregister_timer) return true;
  HostMisbehaving("clap_host_timer_support is partially implemented");
  return false;
}
bool ClapHostProxy::TimerSupportRegister(uint32_t periodMs, clap_id* timerId) const {
  return CanUseTimerSupport() && mTimerSupport->register_timer(mHost, periodMs, timerId);
}
bool ClapHostProxy::TimerSupportUnregister(clap_id timerId) const {
  return CanUseTimerSupport() && mTimerSupport->unregister_timer(mHost, timerId);
}

bool ClapHostProxy::CanUsePosixFdSupport() const {
  if (!mPosixFdSupport) return false;
  if (mPosixFdSupport->register_fd && mPosixFdSupport->modify_fd && mPosixFdSupport->unregister_fd) return true;
  HostMisbehaving("clap_host_posix_fd_support is partially implemented");
  return false;
}
bool ClapHostProxy::PosixFdSupportRegister(int fd, clap_posix_fd_flags_t flags) const {
  return CanUsePosixFdSupport() && mPosixFdSupport->register_fd(mHost, fd, flags);
}
bool ClapHostProxy::PosixFdSupportModify(int fd, clap_posix_fd_flags_t flags) const {
  return CanUsePosixFdSupport() && mPosixFdSupport->modify_fd(mHost, fd, flags);
}
bool ClapHostProxy::PosixFdSupportUnregister(int fd) const {
  return CanUsePosixFdSupport() && mPosixFdSupport->unregister_fd(mHost, fd);
}

void ClapHostProxy::RequestRestart() const {
  if (mHost && mHost->request_restart) mHost->request_restart(mHost);
}
void ClapHostProxy::RequestProcess() const {
  if (mHost && mHost->request_process) mHost->request_process(mHost);
}
void ClapHostProxy::RequestCallback() const {
  if (mHost && mHost->request_callback) mHost->request_callback(mHost);
}

}  // namespace ondrell
