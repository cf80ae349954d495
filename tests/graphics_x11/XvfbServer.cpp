#include "tests/graphics_x11/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace quorl_test {

XvfbServer::XvfbServer(int width, int height)
{
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0)
  {
    close(fds[0]);
    close(fds[1]);
    return;
  }
  if (pid == 0)
  {
    // The server goes with the test process, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
      _exit(1);
    // It writes its display number to descriptor 3 once it accepts connections.
    if (fds[1] == 3)
      fcntl(3, F_SETFD, 0);
    else
      dup2(fds[1], 3);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    // -noreset: a server whose last client leaves would otherwise reset and refuse connections meanwhile.
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  mPid = pid;

  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline)
  {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0)
      continue;
    char c = 0;
    const ssize_t n = read(fds[0], &c, 1);
    if (n <= 0 || c == '\n')
      break;
    number += c;
  }
  close(fds[0]);
  if (number.empty())
  {
    Kill();
    return;
  }
  mName = ":" + number;
}

XvfbServer::~XvfbServer()
{
  if (mPid <= 0)
    return;
  kill(mPid, SIGTERM);
  int status = 0;
  waitpid(mPid, &status, 0);
}

void XvfbServer::Kill()
{
  if (mPid <= 0)
    return;
  kill(mPid, SIGKILL);
  int status = 0;
  waitpid(mPid, &status, 0);
  mPid = -1;
  // A killed server leaves its lock file and socket behind.
  if (!mName.empty())
  {
    const std::string number = mName.substr(1);
    unlink(("/tmp/.X" + number + "-lock").c_str());
    unlink(("/tmp/.X11-unix/X" + number).c_str());
  }
}

} // namespace quorl_test
