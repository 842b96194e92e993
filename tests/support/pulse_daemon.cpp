#include "tests/support/pulse_daemon.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace sonter2::test {

namespace {

bool canConnect(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  path.copy(addr.sun_path, sizeof addr.sun_path - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

}  // namespace

PulseDaemon::PulseDaemon() {
  const std::string program = findProgram("pulseaudio");
  if (program.empty()) {
    why_ = "pulseaudio is not installed (scripts/install-deps.sh installs it)";
    return;
  }
  char name[] = "/tmp/sonter2-pulse-XXXXXX";
  if (mkdtemp(name) == nullptr) {
    why_ = "no temporary directory";
    return;
  }
  dir_ = name;
  socket_ = dir_ + "/native";
  // As root it warns and runs.
  std::vector<std::string> args = {program,
                                   "--daemonize=no",
                                   "--exit-idle-time=-1",
                                   "-n",
                                   "--use-pid-file=no",
                                   "--disallow-exit",
                                   "--log-target=stderr",
                                   "--log-level=error",
                                   "--load=module-null-sink sink_name=null rate=22050 channels=1",
                                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_};
  std::vector<std::string> env = {"HOME=" + dir_, "XDG_RUNTIME_DIR=" + dir_, "XDG_CONFIG_HOME=" + dir_ + "/config",
                                  "PATH=/usr/bin:/bin"};
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
    pid_ = 0;
    why_ = "pulseaudio did not start";
    return;
  }
  for (int i = 0; i < 400 && !canConnect(socket_); ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = 0;
      why_ = "pulseaudio exited at start";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!canConnect(socket_)) why_ = "pulseaudio did not open its socket within 20 s";
}

PulseDaemon::~PulseDaemon() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

}  // namespace sonter2::test
