#include "tools/host/MainLoopWaiter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace ondrell::host {

const bool MainLoopWaiter::kWatchesDescriptors = true;

MainLoopWaiter::MainLoopWaiter() : mHandle(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MainLoopWaiter::~MainLoopWaiter() {
  if (mHandle >= 0) close(static_cast<int>(mHandle));
}

void MainLoopWaiter::Wake() {
  if (mHandle < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(static_cast<int>(mHandle), &one, sizeof one);
}

std::vector<MainLoopWaiter::Ready> MainLoopWaiter::Wait(int timeoutMs, const std::vector<Watch>& watches) {
  std::vector<pollfd> fds;
  fds.push_back(pollfd{static_cast<int>(mHandle), POLLIN, 0});
  for (const Watch& w : watches) {
    short events = 0;
    if (w.read) events |= POLLIN;
    if (w.write) events |= POLLOUT;
    fds.push_back(pollfd{w.fd, events, 0});
  }
  std::vector<Ready> ready;
  if (poll(fds.data(), fds.size(), timeoutMs) <= 0) return ready;
  if (fds[0].revents & POLLIN) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(static_cast<int>(mHandle), &count, sizeof count);
  }
  for (size_t i = 1; i < fds.size(); ++i) {
    if (!fds[i].revents) continue;
    ready.push_back(Ready{fds[i].fd, (fds[i].revents & POLLIN) != 0, (fds[i].revents & POLLOUT) != 0,
                          (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0});
  }
  return ready;
}

}  // namespace ondrell::host
