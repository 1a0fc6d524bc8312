#include "tests/support/sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace support {

const char* const KXGETPKGENV = "/opt/kxcluster/bin/kxgetpkgenv";
const char* const KXEXEC = "/usr/sbin/kxexec";
const char* const VXDG = "/usr/sbin/vxdg";
const char* const VXDCTL = "/usr/sbin/vxdctl";
const char* const VGCHANGE = "/usr/sbin/vgchange";
const char* const MAP_FILE = "/opt/kxcluster/conf/sfyrzarn/yrzarn.map";

namespace {

const char* const OVERLAID[] = {"/etc", "/opt", "/usr", "/var",
                                "/root", "/home", "/srv"};
const char* const DEVICES[] = {"null", "zero", "full", "random",
                               "urandom", "tty", "ptmx"};

[[noreturn]] void fatal(const std::string& what) {
  std::fprintf(stderr, "e2e sandbox: %s\n", what.c_str());
  std::abort();
}

std::string topOf(const std::string& nodePath) {
  size_t slash = nodePath.find('/', 1);
  return slash == std::string::npos ? nodePath : nodePath.substr(0, slash);
}

bool isOverlaid(const std::string& top) {
  for (const char* dir : OVERLAID)
    if (top == dir) return true;
  return false;
}

void writeHostFile(const std::string& path, const std::string& contents,
                   mode_t mode) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  out.close();
  if (!out) fatal("cannot write " + path);
  if (chmod(path.c_str(), mode) != 0) fatal("cannot chmod " + path);
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// "<11>Dec  8 01:39:05 drenable: text" as glibc's syslog sends it.
SysLogEntry parseSysLog(const std::string& raw) {
  SysLogEntry entry;
  entry.raw = raw;
  std::string rest = raw;
  if (!rest.empty() && rest[0] == '<') {
    size_t close = rest.find('>');
    if (close != std::string::npos) {
      entry.priority = std::atoi(rest.substr(1, close - 1).c_str());
      rest = rest.substr(close + 1);
    }
  }
  static const std::regex stamp(R"(^[A-Za-z]{3} [ 0-9]\d \d\d:\d\d:\d\d )");
  std::smatch m;
  if (std::regex_search(rest, m, stamp)) rest = m.suffix();
  size_t colon = rest.find(": ");
  if (colon != std::string::npos) {
    entry.ident = rest.substr(0, colon);
    entry.message = rest.substr(colon + 2);
  } else {
    entry.message = rest;
  }
  return entry;
}

// Everything the child needs, prepared before fork so that the child only
// makes system calls.
struct ChildPlan {
  std::string hostName;
  std::vector<std::pair<std::string, std::string>> overlays;  // dir, options
  std::string devDir;
  std::string logSocket;
  std::string journalSocket;
  std::string workDir;
  std::vector<std::string> argv;
  std::vector<std::string> envp;
  int stdinFd = -1;
  int outFd = -1;
  int errFd = -1;
  int statusFd = -1;
  bool pty = false;
};

[[noreturn]] void childFail(const ChildPlan& plan, const char* step,
                            const std::string& what) {
  char text[512];
  int n = std::snprintf(text, sizeof text, "%s %s: %s", step, what.c_str(),
                        std::strerror(errno));
  if (n > 0) {
    ssize_t ignored = write(plan.statusFd, text, std::strlen(text));
    (void)ignored;
  }
  _exit(127);
}

void bindFile(const ChildPlan& plan, const std::string& source,
              const std::string& target) {
  int fd = open(target.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) childFail(plan, "create", target);
  close(fd);
  if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
    childFail(plan, "bind", source);
}

[[noreturn]] void runChild(const ChildPlan& plan) {
  if (setsid() < 0) childFail(plan, "setsid", "");
  if (plan.pty && ioctl(plan.stdinFd, TIOCSCTTY, 0) != 0)
    childFail(plan, "controlling terminal", "");
  if (dup2(plan.stdinFd, 0) < 0 || dup2(plan.outFd, 1) < 0 ||
      dup2(plan.errFd, 2) < 0)
    childFail(plan, "dup2", "");

  if (unshare(CLONE_NEWNS | CLONE_NEWUTS) != 0)
    childFail(plan, "unshare", "(needs root)");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    childFail(plan, "make private", "/");
  if (sethostname(plan.hostName.c_str(), plan.hostName.size()) != 0)
    childFail(plan, "sethostname", plan.hostName);
  for (const auto& overlay : plan.overlays) {
    if (mount("overlay", overlay.first.c_str(), "overlay", 0,
              overlay.second.c_str()) != 0)
      childFail(plan, "overlay", overlay.first);
  }
  if (mount("tmpfs", "/run", "tmpfs", 0, "mode=755") != 0)
    childFail(plan, "tmpfs", "/run");
  if (mkdir("/run/systemd", 0755) != 0 || mkdir("/run/systemd/journal", 0755) != 0)
    childFail(plan, "mkdir", "/run/systemd/journal");
  bindFile(plan, plan.journalSocket, "/run/systemd/journal/socket");

  const std::string& dev = plan.devDir;
  if (mount("tmpfs", dev.c_str(), "tmpfs", 0, "mode=755") != 0)
    childFail(plan, "tmpfs", dev);
  for (const char* device : DEVICES)
    bindFile(plan, std::string("/dev/") + device, dev + "/" + device);
  if (mkdir((dev + "/pts").c_str(), 0755) != 0 ||
      mount("/dev/pts", (dev + "/pts").c_str(), nullptr, MS_BIND | MS_REC,
            nullptr) != 0)
    childFail(plan, "bind", "/dev/pts");
  if (mkdir((dev + "/shm").c_str(), 01777) != 0 ||
      mount("tmpfs", (dev + "/shm").c_str(), "tmpfs", 0, "mode=1777") != 0)
    childFail(plan, "tmpfs", "/dev/shm");
  if (symlink("/proc/self/fd", (dev + "/fd").c_str()) != 0 ||
      symlink("/proc/self/fd/0", (dev + "/stdin").c_str()) != 0 ||
      symlink("/proc/self/fd/1", (dev + "/stdout").c_str()) != 0 ||
      symlink("/proc/self/fd/2", (dev + "/stderr").c_str()) != 0)
    childFail(plan, "symlink", dev);
  bindFile(plan, plan.logSocket, dev + "/log");
  if (mount(dev.c_str(), "/dev", nullptr, MS_BIND | MS_REC, nullptr) != 0)
    childFail(plan, "bind", "/dev");

  if (chdir(plan.workDir.c_str()) != 0) childFail(plan, "chdir", plan.workDir);

  std::vector<char*> argv;
  for (const auto& a : plan.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& e : plan.envp) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  execve(argv[0], argv.data(), envp.data());
  childFail(plan, "exec", plan.argv[0]);
}

bool readInto(int fd, std::string* text) {
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text->append(buffer, n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    return false;  // end of file, or EIO on a pty whose slave is closed
  }
}

void drainSysLog(int fd, std::vector<SysLogEntry>* entries) {
  char buffer[65536];
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    std::string raw(buffer, n);
    while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\0'))
      raw.pop_back();
    entries->push_back(parseSysLog(raw));
  }
}

// The journal's native protocol: "NAME=value\n", or "NAME\n", a 64-bit
// little-endian length, the value and "\n" for a value that holds a line
// feed.
JournalEntry parseJournal(const std::string& raw) {
  JournalEntry entry;
  size_t at = 0;
  while (at < raw.size()) {
    size_t end = raw.find('\n', at);
    if (end == std::string::npos) end = raw.size();
    std::string head = raw.substr(at, end - at);
    size_t equals = head.find('=');
    if (equals != std::string::npos) {
      entry[head.substr(0, equals)] = head.substr(equals + 1);
      at = end + 1;
      continue;
    }
    if (end + 9 > raw.size()) break;
    uint64_t length = 0;
    for (int i = 7; i >= 0; --i)
      length = (length << 8) | static_cast<unsigned char>(raw[end + 1 + i]);
    entry[head] = raw.substr(end + 9, length);
    at = end + 9 + length + 1;
  }
  return entry;
}

void drainJournal(int fd, std::vector<JournalEntry>* entries) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    entries->push_back(parseJournal(std::string(buffer.data(), n)));
  }
}

// A datagram socket bound at path, for what the node sends there.
int boundDatagramSocket(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  std::strcpy(address.sun_path, path.c_str());
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  int bufferSize = 4 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
  return fd;
}

void setNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

void preloadFakeTime(RunOptions& options, const std::string& shim, const std::string& spec) {
  options.env["LD_PRELOAD"] = shim + " /usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";
  options.env["FAKETIME"] = spec;
  // libfaketime is preloaded ahead of the sanitizer runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  options.env["ASAN_OPTIONS"] =
      std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
}

std::string readHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> RunResult::messages() const {
  static const std::regex head(
      R"(^(DEBUG )?[A-Za-z]{3} [ 0-9]\d \d\d:\d\d:\d\d - Node \S* : )");
  std::vector<std::string> result;
  for (const std::string& line : splitLines(out)) {
    std::smatch m;
    if (std::regex_search(line, m, head)) {
      result.push_back((m[1].matched ? "DEBUG " : "") + m.suffix().str());
    } else if (!result.empty() && !line.empty() && line[0] == '\t') {
      result.back() += "\n" + line;
    }
  }
  return result;
}

std::vector<std::string> RunResult::normalMessages() const {
  std::vector<std::string> result;
  for (const std::string& m : messages())
    if (m.rfind("DEBUG ", 0) != 0) result.push_back(m);
  return result;
}

std::vector<std::string> RunResult::sysLogMessages() const {
  std::vector<std::string> result;
  for (const SysLogEntry& e : sysLog) result.push_back(e.message);
  return result;
}

std::string RunResult::describe() const {
  std::ostringstream d;
  d << "exit " << exitCode << " signal " << signal
    << (timedOut ? " (timed out)" : "") << "\n";
  if (!setupError.empty()) d << "setup error: " << setupError << "\n";
  d << "--- stdout\n" << out << "--- stderr\n" << err;
  if (!terminal.empty()) d << "--- terminal\n" << terminal << "\n";
  d << "--- syslog\n";
  for (const SysLogEntry& e : sysLog) d << e.raw << "\n";
  d << "--- calls\n";
  for (const std::string& c : calls) d << c << "\n";
  return d.str();
}

Sandbox::Sandbox(std::string hostName) : hostName_(std::move(hostName)) {
  std::string pattern = (fs::temp_directory_path() / "dre-e2e-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) fatal("mkdtemp failed");
  folder_ = buffer.data();
  for (const char* sub : {"/root", "/work", "/dev", "/doubles"})
    fs::create_directories(folder_ + sub);
  for (const char* dir : OVERLAID) {
    if (!fs::is_directory(dir)) continue;
    fs::create_directories(folder_ + "/root" + dir);
    fs::create_directories(folder_ + "/work" + dir);
  }
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

std::string Sandbox::hostPath(const std::string& nodePath) const {
  return folder_ + "/root" + nodePath;
}

void Sandbox::writeFile(const std::string& nodePath,
                        const std::string& contents, mode_t mode) {
  if (nodePath.empty() || nodePath[0] != '/' || !isOverlaid(topOf(nodePath)) ||
      !fs::is_directory(topOf(nodePath)))
    fatal("not a path the sandbox can hold: " + nodePath);
  writeHostFile(hostPath(nodePath), contents, mode);
}

void Sandbox::makeDir(const std::string& nodePath) {
  if (!isOverlaid(topOf(nodePath))) fatal("not a sandbox path: " + nodePath);
  fs::create_directories(hostPath(nodePath));
}

std::optional<std::string> Sandbox::readFile(const std::string& nodePath) const {
  std::string path = hostPath(nodePath);
  if (!fs::is_regular_file(path)) return std::nullopt;
  return readHostFile(path);
}

void Sandbox::installDouble(const std::string& nodePath) {
  std::string name = fs::path(nodePath).filename().string();
  std::string answers = folder_ + "/doubles/" + name;
  fs::create_directories(answers);
  std::string script =
      "#!/bin/sh\n"
      "# Recording double made by the e2e sandbox.\n"
      "d=" + shellQuote(answers) + "\n"
      "if [ $# -eq 0 ]; then echo " + shellQuote(name) +
      "; else printf '%s %s\\n' " + shellQuote(name) + " \"$*\"; fi >> " +
      shellQuote(folder_ + "/calls.log") + "\n"
      "i=0\n"
      "while [ -f \"$d/$i.args\" ]; do\n"
      "  if [ \"$*\" = \"$(cat \"$d/$i.args\")\" ]; then\n"
      "    cat \"$d/$i.out\"\n"
      "    exit \"$(cat \"$d/$i.rc\")\"\n"
      "  fi\n"
      "  i=$((i + 1))\n"
      "done\n"
      "if [ -f \"$d/default.rc\" ]; then\n"
      "  cat \"$d/default.out\"\n"
      "  exit \"$(cat \"$d/default.rc\")\"\n"
      "fi\n"
      "exit 0\n";
  writeFile(nodePath, script, 0755);
}

void Sandbox::installClusterDoubles() {
  for (const char* path : {KXGETPKGENV, KXEXEC, VXDG, VXDCTL, VGCHANGE})
    installDouble(path);
}

void Sandbox::answer(const std::string& name, const std::string& args,
                     int exitCode, const std::string& output) {
  std::string base = folder_ + "/doubles/" + name + "/" +
                     std::to_string(answerCount_[name]++);
  writeHostFile(base + ".args", args, 0644);
  writeHostFile(base + ".out", output, 0644);
  writeHostFile(base + ".rc", std::to_string(exitCode), 0644);
}

void Sandbox::defaultAnswer(const std::string& name, int exitCode,
                            const std::string& output) {
  std::string base = folder_ + "/doubles/" + name + "/default";
  writeHostFile(base + ".out", output, 0644);
  writeHostFile(base + ".rc", std::to_string(exitCode), 0644);
}

std::vector<std::string> Sandbox::calls() const {
  return splitLines(readHostFile(folder_ + "/calls.log"));
}

RunResult Sandbox::run(const std::string& program, const RunOptions& options) {
  RunResult result;
  std::error_code ignored;
  fs::remove(folder_ + "/calls.log", ignored);

  // The system-log socket the node's /dev/log will be, and its journal's.
  std::string socketPath = folder_ + "/log.sock";
  std::string journalPath = folder_ + "/journal.sock";
  int logFd = boundDatagramSocket(socketPath);
  if (logFd < 0) {
    result.setupError = "cannot make the log socket";
    return result;
  }
  int journalFd = boundDatagramSocket(journalPath);
  if (journalFd < 0) {
    close(logFd);
    result.setupError = "cannot make the journal socket";
    return result;
  }

  ChildPlan plan;
  plan.hostName = hostName_;
  for (const char* dir : OVERLAID) {
    if (!fs::is_directory(dir)) continue;
    plan.overlays.emplace_back(
        dir, std::string("lowerdir=") + dir + ",upperdir=" + folder_ +
                 "/root" + dir + ",workdir=" + folder_ + "/work" + dir);
  }
  plan.devDir = folder_ + "/dev";
  plan.logSocket = socketPath;
  plan.journalSocket = journalPath;
  plan.workDir = options.workDir.empty() ? "/" : options.workDir;

  std::map<std::string, std::string> env;
  env["PATH"] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  env["HOME"] = "/root";
  env["_"] = program;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    const char* value = std::getenv(name);
    if (value != nullptr) env[name] = value;
  }
  if (options.fakeTime) {
    // libfaketime is preloaded ahead of the sanitizer runtime.
    std::string& asan = env["ASAN_OPTIONS"];
    asan += std::string(asan.empty() ? "" : ":") + "verify_asan_link_order=0";
  }
  for (const auto& e : options.env) env[e.first] = e.second;
  for (const auto& e : env) plan.envp.push_back(e.first + "=" + e.second);

  if (options.fakeTime) {
    plan.argv = {"/usr/bin/faketime", *options.fakeTime};
  }
  plan.argv.push_back(program);
  for (const auto& a : options.args) plan.argv.push_back(a);

  int outPipe[2], errPipe[2], statusPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 ||
      pipe2(statusPipe, O_CLOEXEC) != 0)
    fatal("pipe failed");
  int master = -1;
  if (options.pty) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
      fatal("cannot open a pty");
    plan.stdinFd = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  } else {
    std::string inputPath = folder_ + "/stdin";
    writeHostFile(inputPath, options.input.value_or(""), 0600);
    plan.stdinFd = open(inputPath.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (plan.stdinFd < 0) fatal("cannot open the standard input");
  plan.outFd = outPipe[1];
  plan.errFd = errPipe[1];
  plan.statusFd = statusPipe[1];
  plan.pty = options.pty;

  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) fatal("fork failed");
  if (pid == 0) runChild(plan);

  close(plan.stdinFd);
  close(outPipe[1]);
  close(errPipe[1]);
  close(statusPipe[1]);
  setNonBlocking(outPipe[0]);
  setNonBlocking(errPipe[0]);
  if (master >= 0) {
    setNonBlocking(master);
    if (options.dialogue.empty() && options.input) {
      ssize_t ignored2 = write(master, options.input->data(),
                               options.input->size());
      (void)ignored2;
    }
  }

  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  bool outOpen = true, errOpen = true, ttyOpen = master >= 0, exited = false;
  int status = 0;
  size_t step = 0, searchFrom = 0;
  std::string seen;  // standard output and terminal, for the dialogue
  while (outOpen || errOpen || (ttyOpen && !exited) || !exited) {
    std::vector<pollfd> fds;
    fds.push_back({logFd, POLLIN, 0});
    fds.push_back({journalFd, POLLIN, 0});
    if (outOpen) fds.push_back({outPipe[0], POLLIN, 0});
    if (errOpen) fds.push_back({errPipe[0], POLLIN, 0});
    if (ttyOpen) fds.push_back({master, POLLIN, 0});
    poll(fds.data(), fds.size(), 20);
    drainSysLog(logFd, &result.sysLog);
    drainJournal(journalFd, &result.journal);
    size_t before = result.out.size() + result.terminal.size();
    if (outOpen) outOpen = readInto(outPipe[0], &result.out);
    if (errOpen) errOpen = readInto(errPipe[0], &result.err);
    if (ttyOpen) ttyOpen = readInto(master, &result.terminal);
    if (result.out.size() + result.terminal.size() != before)
      seen = result.out + "\n" + result.terminal;
    while (master >= 0 && step < options.dialogue.size()) {
      size_t at = seen.find(options.dialogue[step].first, searchFrom);
      if (at == std::string::npos) break;
      searchFrom = at + options.dialogue[step].first.size();
      const std::string& typed = options.dialogue[step].second;
      ssize_t ignored3 = write(master, typed.data(), typed.size());
      (void)ignored3;
      ++step;
    }
    if (!exited && waitpid(pid, &status, WNOHANG) == pid) exited = true;
    if (exited && !outOpen && !errOpen) break;

    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (!result.timedOut && now.tv_sec - start.tv_sec > options.timeoutSeconds) {
      result.timedOut = true;
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
    }
    if (result.timedOut && exited) break;
  }
  if (!exited) waitpid(pid, &status, 0);
  if (master >= 0) {
    readInto(master, &result.terminal);
    close(master);
  }
  drainSysLog(logFd, &result.sysLog);
  close(logFd);
  drainJournal(journalFd, &result.journal);
  close(journalFd);
  close(outPipe[0]);
  close(errPipe[0]);
  readInto(statusPipe[0], &result.setupError);
  close(statusPipe[0]);

  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.calls = calls();
  return result;
}

}  // namespace support
