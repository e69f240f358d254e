#include "tests/kit/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kelpra::testkit {
namespace fs = std::filesystem;

ProcessResult runprocess(const fs::path& program, const std::vector<std::string>& args,
                         const fs::path& workdir, const std::string& input) {
  int inpipe[2], outpipe[2], errpipe[2];
  if (pipe(inpipe) != 0 || pipe(outpipe) != 0 || pipe(errpipe) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setpgid(0, 0);  // a run that hangs is ended with whatever it started
    dup2(inpipe[0], 0);
    dup2(outpipe[1], 1);
    dup2(errpipe[1], 2);
    for (int fd : {inpipe[0], inpipe[1], outpipe[0], outpipe[1], errpipe[0], errpipe[1]}) close(fd);
    if (!workdir.empty() && chdir(workdir.c_str()) != 0) _exit(126);
    // As from a terminal, also where the suite was started in the background of a script.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
    std::vector<char*> argv;
    std::string prog = program.string();
    argv.push_back(prog.data());
    std::vector<std::string> copies(args);
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(prog.c_str(), argv.data());
    _exit(127);
  }
  close(inpipe[0]);
  close(outpipe[1]);
  close(errpipe[1]);
  // Feed input while draining output, so a large reply cannot deadlock the pipes.
  std::size_t written = 0;
  int infd = inpipe[1];
  if (input.empty()) {
    close(infd);
    infd = -1;
  } else {
    fcntl(infd, F_SETFL, O_NONBLOCK);
  }
  ProcessResult result;
  bool outopen = true, erropen = true;
  char buffer[65536];
  // A run that hangs fails its test (killed: a status of 128 and more) instead of the suite.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  bool killed = false;
  while (outopen || erropen) {
    pollfd fds[3];
    int n = 0;
    if (outopen) fds[n++] = {outpipe[0], POLLIN, 0};
    if (erropen) fds[n++] = {errpipe[0], POLLIN, 0};
    if (infd >= 0) fds[n++] = {infd, POLLOUT, 0};
    const int ready = poll(fds, n, killed ? -1 : 1000);
    if (ready < 0) break;
    if (!killed && std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      killed = true;
    }
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == infd) {
        const ssize_t w = write(infd, input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w < 0 || written == input.size()) {
          close(infd);
          infd = -1;
        }
        continue;
      }
      const ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
      if (r <= 0) {
        close(fds[i].fd);
        (fds[i].fd == outpipe[0] ? outopen : erropen) = false;
      } else {
        (fds[i].fd == outpipe[0] ? result.out : result.err).append(buffer, static_cast<std::size_t>(r));
      }
    }
  }
  if (infd >= 0) close(infd);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitstatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.signalled = WIFSIGNALED(status);
  return result;
}

fs::path builtprogram(const std::string& relative) {
  const char* dir = std::getenv("KELPRA_BINARY_DIR");
  return fs::path(dir != nullptr ? dir : ".") / relative;
}

std::vector<fs::path> onsearchpath(std::string_view program, std::string_view fallback) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : fallback;
  std::vector<fs::path> out;
  while (!dirs.empty()) {
    const std::size_t colon = dirs.find(':');
    out.push_back(fs::path(dirs.substr(0, colon)) / program);
    dirs = colon == std::string_view::npos ? std::string_view{} : dirs.substr(colon + 1);
  }
  return out;
}

std::string readfile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writefile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("kelpra-test-" + std::to_string(rd()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace kelpra::testkit
