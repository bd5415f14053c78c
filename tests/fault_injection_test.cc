// Fault injection: tjoin runs with tests/fault_inject.c preloaded, which fails
// one call of the C library, and must then still keep its promise. A first run
// of each case (five places for the output, on this system and on one without
// O_TMPFILE and fallocate) counts tjoin's calls of each family (open, write,
// malloc, ...); then each call in turn, an even sample of 60 where there are
// more, is failed with each errno the table below gives its family. A run
// passes when it exits 0 with the whole output and the same console, or exits
// 1 with one "tjoin: " line on standard error, the input and an old output
// byte-identical (written in place, a failed write may leave the output short:
// a prefix of the new one), and no other file left in the directory.
//
//   fault_injection_test TJOIN LIBRARY
//   fault_injection_test TJOIN LIBRARY CASE FAMILY INDEX ERRNO
//
// The second form makes the one run that "FAIL existing+oldfs write#3 ENOSPC:
// ..." names, and keeps its directory. The exit status is 0 when every run
// passes, 1 when one fails, 2 when the test cannot run.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Errno {
  const char* name;
  int value;
};
constexpr Errno Errnos[] = {
    {"EACCES", EACCES}, {"EPERM", EPERM},   {"ENOSPC", ENOSPC},         {"EIO", EIO},
    {"EINTR", EINTR},   {"ENOMEM", ENOMEM}, {"EMFILE", EMFILE},         {"EEXIST", EEXIST},
    {"ENOENT", ENOENT}, {"EISDIR", EISDIR}, {"EOPNOTSUPP", EOPNOTSUPP}, {"ENOSYS", ENOSYS},
    {"ENOLCK", ENOLCK}, {"EINVAL", EINVAL}, {"EBADF", EBADF},           {"EFBIG", EFBIG},
    {"SHORT", 0},  // no error: a read or write of half the bytes
};

// Each family the library counts, with the errnos its calls fail with: what
// the system gives in the cases that differ for tjoin. "ENOMEM+" fails that
// call and every later one of the family, as memory that stays exhausted does.
struct Family {
  const char* name;
  std::vector<const char*> errnos;
};
const Family Families[] = {
    {"open", {"EACCES", "ENOSPC"}},
    {"openat", {"EACCES", "ENOSPC", "EEXIST"}},
    {"open_tmpfile", {"EOPNOTSUPP", "EISDIR", "EACCES"}},
    {"read", {"EIO", "EINTR", "SHORT"}},
    {"write", {"ENOSPC", "EINTR", "SHORT"}},
    {"close", {"EIO", "EINTR"}},
    {"fstat", {"EIO"}},
    {"stat", {"EACCES"}},
    {"lstat", {"EACCES"}},
    {"fstatat", {"EACCES"}},
    {"statx", {"EACCES"}},
    {"readlink", {"EACCES"}},
    {"faccessat", {"EACCES", "EIO"}},
    {"rename", {"EACCES", "EIO"}},
    {"renameat", {"EACCES", "EIO"}},
    {"link", {"EEXIST", "ENOENT", "ENOSPC"}},
    {"linkat", {"EEXIST", "ENOENT", "ENOSPC"}},
    {"unlink", {"EIO"}},
    {"unlinkat", {"EIO"}},
    {"fchmod", {"EPERM", "EIO"}},
    {"fchown", {"EPERM", "EIO"}},
    {"fallocate", {"ENOSPC", "EOPNOTSUPP", "EINTR"}},
    {"ftruncate", {"EIO"}},
    {"fsync", {"EIO"}},
    {"getentropy", {"ENOSYS"}},
    {"getrandom", {"ENOSYS"}},
    {"mmap", {"ENOMEM", "ENOMEM+"}},
    {"malloc", {"ENOMEM", "ENOMEM+"}},
    {"calloc", {"ENOMEM", "ENOMEM+"}},
    {"realloc", {"ENOMEM", "ENOMEM+"}},
    {"aligned_alloc", {"ENOMEM", "ENOMEM+"}},
    {"flock", {"ENOLCK", "EINTR"}},
    {"fcntl", {"EBADF"}},
    {"fcntl_lock", {"ENOLCK", "EINTR"}},
    {"fstatvfs", {"ENOSYS", "EIO"}},
    {"statvfs", {"ENOSYS", "EIO"}},
    {"getrlimit", {"EINVAL"}},
    {"sigprocmask", {"EINVAL"}},
    {"pthread_sigmask", {"EINVAL"}},
    {"sigaction", {"EINVAL"}},
    {"signal", {"EINVAL"}},
    {"dup", {"EMFILE"}},
    {"dup2", {"EMFILE"}},
    {"dup3", {"EMFILE"}},
};

constexpr unsigned long MostIndexes = 60;

// Where the output goes. Every situation has in.txt, the input; "old" files
// hold OldOutput with mode 0640.
enum class Situation { New, Existing, InputAsOutput, SymbolicLink, HardLink };
struct SituationCase {
  Situation situation;
  const char* key;
  const char* outputArgument;
};
constexpr SituationCase Situations[] = {
    {Situation::New, "new", "out.txt"},
    {Situation::Existing, "existing", "out.txt"},
    {Situation::InputAsOutput, "input", "in.txt"},
    {Situation::SymbolicLink, "symlink", "link.txt"},
    {Situation::HardLink, "hardlink", "out.txt"},
};
// The systems each situation runs on: as it is here, and without the calls
// that not every file system has, O_TMPFILE and fallocate, so that the ways
// around them fail in turn too.
struct System {
  const char* suffix;  // of the situation's key
  std::string always;  // the families whose every call fails, for TJOIN_FAULT_ALWAYS
};
const System Systems[] = {
    {"", ""},
    {"+oldfs",
     "open_tmpfile:" + std::to_string(EOPNOTSUPP) + ",fallocate:" + std::to_string(EOPNOTSUPP)},
};

// A situation on a system: "existing+oldfs".
struct Case {
  std::string key;
  SituationCase situation;
  std::string always;
};

const std::string OldOutput = "the old output\n";
constexpr mode_t OldMode = 0640;

struct Fault {
  std::string family;  // empty: none, the counting run
  unsigned long index = 0;
  std::string errnoName;
};

struct Outcome {
  int status = -1;  // the exit status, or 128 + the signal that ended tjoin
  std::string out, err;
  bool fired = false;
  std::map<std::string, unsigned long> counts;
};

std::string tjoinBinary, library, scratch;
std::string input, expectedOutput, expectedConsole;
mode_t newMode;  // of an output made by a run without a fault

bool readFile(const std::string& path, std::string* bytes) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes->append(buffer, n);
  }
  std::fclose(file);
  return true;
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::perror(path.c_str());
    std::exit(2);
  }
  std::fclose(file);
  chmod(path.c_str(), mode);
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Empties dir and lays out the files of situation s.
void setUp(const std::string& dir, Situation s) {
  for (const std::string& name : entries(dir)) unlink((dir + "/" + name).c_str());
  writeFile(dir + "/in.txt", input, OldMode);
  if (s == Situation::New || s == Situation::InputAsOutput) return;
  writeFile(dir + "/out.txt", OldOutput, OldMode);
  const std::string link = dir + "/link.txt";
  if ((s == Situation::SymbolicLink && symlink("out.txt", link.c_str()) != 0) ||
      (s == Situation::HardLink && ::link((dir + "/out.txt").c_str(), link.c_str()) != 0)) {
    std::perror(link.c_str());
    std::exit(2);
  }
}

int errnoValue(const std::string& name) {
  for (const Errno& e : Errnos) {
    if (name == e.name || name == e.name + std::string("+")) return e.value;
  }
  std::fprintf(stderr, "unknown errno %s\n", name.c_str());
  std::exit(2);
}

// Each run in flight has a slot: its directory and its console and log files.
// Two at a time, for the two cores of the machines the tests run on.
constexpr int Slots = 2;
std::string slotPath(int slot, const char* what) {
  return scratch + "/slot" + std::to_string(slot) + what;
}

// Lays out c's files in slot's directory and starts tjoin there.
pid_t startTjoin(int slot, const Case& c, const Fault& fault) {
  const std::string dir = slotPath(slot, ""), log = slotPath(slot, ".log");
  const std::string out = slotPath(slot, ".stdout"), err = slotPath(slot, ".stderr");
  setUp(dir, c.situation.situation);
  unlink(log.c_str());
  std::vector<std::string> environment = {"LD_PRELOAD=" + library, "TJOIN_FAULT_LOG=" + log,
                                          "TJOIN_FAULT_ALWAYS=" + c.always};
  if (!fault.family.empty()) {
    environment.push_back("TJOIN_FAULT=" + fault.family + ":" + std::to_string(fault.index) + ":" +
                          std::to_string(errnoValue(fault.errnoName)) +
                          (fault.errnoName.back() == '+' ? ":on" : ""));
  }
  for (char** e = environ; *e != nullptr; ++e) {
    if (!startsWith(*e, "LD_PRELOAD=") && !startsWith(*e, "TJOIN_FAULT")) environment.push_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  const char* argv[] = {tjoinBinary.c_str(), "in.txt", c.situation.outputArgument, nullptr};

  pid_t child = fork();
  if (child == 0) {
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(dir.c_str()) != 0) _exit(125);
    close(o);
    close(e);
    alarm(20);  // a run that hangs ends by SIGALRM and fails
    execve(argv[0], const_cast<char**>(argv), envp.data());
    _exit(126);
  }
  if (child < 0) {
    std::perror("fork");
    std::exit(2);
  }
  return child;
}

// What the run in slot that ended with status left on the console and in the log.
Outcome outcomeOf(int slot, int status) {
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  readFile(slotPath(slot, ".stdout"), &outcome.out);
  readFile(slotPath(slot, ".stderr"), &outcome.err);
  std::string log;
  readFile(slotPath(slot, ".log"), &log);
  char name[64];
  unsigned long count;
  for (const char* at = log.c_str(); *at != '\0'; at = std::strchr(at, '\n') + 1) {
    if (std::sscanf(at, "%63s %lu", name, &count) == 2) outcome.counts[name] = count;
    if (startsWith(at, "fired")) outcome.fired = true;
  }
  return outcome;
}

Outcome runTjoin(int slot, const Case& c, const Fault& fault) {
  int status = 0;
  waitpid(startTjoin(slot, c, fault), &status, 0);
  return outcomeOf(slot, status);
}

// What is wrong with the files and console after a run, or "".
std::string check(const std::string& dir, const Case& c, const Fault& fault, const Outcome& o) {
  const Situation s = c.situation.situation;
  std::string outputPath = dir + (s == Situation::InputAsOutput ? "/in.txt" : "/out.txt");
  std::string bytes;
  if (o.status != 0 && o.status != 1) return "exit status " + std::to_string(o.status);
  if (!fault.family.empty() && !o.fired) return "the call never came: the counts changed";
  bool ok = o.status == 0;

  std::vector<std::string> names = {"in.txt"};
  if (s == Situation::New ? ok : s != Situation::InputAsOutput) names.push_back("out.txt");
  if (s == Situation::SymbolicLink || s == Situation::HardLink) names.push_back("link.txt");
  for (const std::string& name : entries(dir)) {
    if (std::find(names.begin(), names.end(), name) == names.end()) return "left " + name;
  }
  for (const std::string& name : names) {
    struct stat info;
    if (lstat((dir + "/" + name).c_str(), &info) != 0) return "no " + name;
  }

  if (s != Situation::New || ok) {
    struct stat info;
    if (stat(outputPath.c_str(), &info) != 0 ||
        (info.st_mode & 07777) != (s == Situation::New ? newMode : OldMode)) {
      return "the output's mode changed";
    }
  }
  if (s == Situation::SymbolicLink) {
    char target[64];
    ssize_t n = readlink((dir + "/link.txt").c_str(), target, sizeof target);
    if (n != 7 || std::memcmp(target, "out.txt", 7) != 0) return "the symbolic link was replaced";
  }
  if (s == Situation::HardLink) {
    struct stat one, two;
    if (stat(outputPath.c_str(), &one) != 0 || stat((dir + "/link.txt").c_str(), &two) != 0 ||
        one.st_ino != two.st_ino) {
      return "the hard link was broken";
    }
  }
  if (ok) {
    if (!o.err.empty()) return "exit 0 with standard error " + o.err;
    if (o.out != expectedConsole) return "exit 0 with standard output " + o.out;
    if (!readFile(outputPath, &bytes) || bytes != expectedOutput) {
      return "exit 0 with an output of " + std::to_string(bytes.size()) + " bytes, not " +
             std::to_string(expectedOutput.size());
    }
  } else {
    if (!startsWith(o.err, "tjoin: ") || o.err.find('\n') != o.err.size() - 1) {
      return "exit 1 with standard error " + o.err;
    }
    if (fault.family.empty()) return "exit 1 without a fault: " + o.err;
    // The line gives the reason of the call that failed, not of a later one.
    std::string reason = std::strerror(errnoValue(fault.errnoName));
    for (const char* memory : {"malloc", "calloc", "realloc", "aligned_alloc", "mmap"}) {
      if (fault.family == memory) reason = "out of memory";
    }
    if (!o.err.ends_with(": " + reason + "\n")) return "exit 1 with another reason: " + o.err;
    if (!startsWith(expectedConsole, o.out)) return "exit 1 with standard output " + o.out;
    if (s != Situation::InputAsOutput && (!readFile(dir + "/in.txt", &bytes) || bytes != input)) {
      return "exit 1 and the input changed";
    }
    if (s != Situation::New) {
      const std::string& old = s == Situation::InputAsOutput ? input : OldOutput;
      bool mayBeShort =
          s == Situation::HardLink && (fault.family == "write" || fault.family == "close");
      if (!readFile(outputPath, &bytes) ||
          (bytes != old && !(mayBeShort && startsWith(expectedOutput, bytes)))) {
        return "exit 1 and the old output changed (" + std::to_string(bytes.size()) + " bytes)";
      }
    }
  }
  return "";
}

// 1..count, or MostIndexes of them spread evenly, first and last included.
std::vector<unsigned long> indexesOf(unsigned long count) {
  std::vector<unsigned long> indexes;
  unsigned long n = std::min(count, MostIndexes);
  for (unsigned long k = 0; k < n; ++k) {
    indexes.push_back(n == 1 ? 1 : 1 + k * (count - 1) / (n - 1));
  }
  return indexes;
}

std::string describe(const Case& c, const Fault& f) {
  return c.key + " " + f.family + "#" + std::to_string(f.index) + " " + f.errnoName;
}

int runOne(const Case& c, const Fault& fault) {
  Outcome o = runTjoin(0, c, fault);
  std::string problem = check(slotPath(0, ""), c, fault, o);
  std::printf("%s: exit %d\nstandard output: %s\nstandard error: %s\nfiles kept in %s\n%s\n",
              describe(c, fault).c_str(), o.status, o.out.c_str(), o.err.c_str(),
              slotPath(0, "").c_str(), problem.empty() ? "PASS" : ("FAIL: " + problem).c_str());
  return problem.empty() ? 0 : 1;
}

// The input: a join, then a direct product whose result takes a few blocks
// of writes (116 KB), and a line on standard output.
std::string makeInput() {
  std::string text = "join(A,B,C)\n\nA(a int, k int)\n";
  for (int i = 1; i <= 40; ++i) text += std::to_string(i) + "," + std::to_string(i % 20) + "\n";
  text += "\nB(k int, name string)\n";
  for (int i = 0; i < 20; ++i) text += std::to_string(i) + ",name" + std::to_string(i) + "\n";
  text += "\nC(s string)\n";
  for (int i = 1; i <= 150; ++i) text += "size" + std::to_string(i) + "\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 7) {
    std::fprintf(stderr, "usage: %s TJOIN LIBRARY [CASE FAMILY INDEX ERRNO]\n", argv[0]);
    return 2;
  }
  char* real = realpath(argv[1], nullptr);
  char* lib = realpath(argv[2], nullptr);
  const char* temporary = std::getenv("TMPDIR");
  std::string dirTemplate = std::string(temporary ? temporary : "/tmp") + "/tjoin-fault-XXXXXX";
  if (real == nullptr || lib == nullptr || mkdtemp(dirTemplate.data()) == nullptr) {
    std::perror("fault_injection_test");
    return 2;
  }
  tjoinBinary = real;
  library = lib;
  scratch = dirTemplate;
  umask(022);
  for (int slot = 0; slot < Slots; ++slot) mkdir(slotPath(slot, "").c_str(), 0755);
  std::vector<Case> cases;
  for (const System& system : Systems) {
    for (const SituationCase& situation : Situations) {
      cases.push_back({situation.key + std::string(system.suffix), situation, system.always});
    }
  }
  input = makeInput();

  // The whole output and console, from a run without a fault.
  Outcome plain = runTjoin(0, cases[0], {});
  struct stat info;
  if (plain.status != 0 || !readFile(slotPath(0, "/out.txt"), &expectedOutput) ||
      stat(slotPath(0, "/out.txt").c_str(), &info) != 0) {
    std::fprintf(stderr, "tjoin fails without a fault: %s", plain.err.c_str());
    return 1;
  }
  expectedConsole = plain.out;
  newMode = info.st_mode & 07777;

  if (argc == 7) {
    for (const Case& c : cases) {
      if (argv[3] == c.key) {
        return runOne(c, {argv[4], std::strtoul(argv[5], nullptr, 10), argv[6]});
      }
    }
    std::fprintf(stderr, "unknown case %s\n", argv[3]);
    return 2;
  }

  // Counts each case's calls, then fails them in turn.
  auto start = std::chrono::steady_clock::now();
  int failures = 0;
  std::map<std::string, unsigned long> callsCovered;
  struct Job {
    const Case* c;
    Fault fault;
    pid_t pid = 0;
    std::string problem;
  };
  std::vector<Job> jobs;
  for (const Case& c : cases) {
    Outcome counting = runTjoin(0, c, {});
    if (std::string problem = check(slotPath(0, ""), c, {}, counting); !problem.empty()) {
      std::printf("FAIL %s without a fault: %s\n", c.key.c_str(), problem.c_str());
      ++failures;
      continue;
    }
    std::string countLine;
    for (const auto& [name, count] : counting.counts) {
      countLine += " " + name + " " + std::to_string(count);
      callsCovered[name] += count;
    }
    std::printf("%s: calls:%s\n", c.key.c_str(), countLine.c_str());
    for (const Family& family : Families) {
      auto counted = counting.counts.find(family.name);
      // A family that fails on every call here has nothing to fail in turn.
      if (counted == counting.counts.end() ||
          ("," + c.always).find("," + std::string(family.name) + ":") != std::string::npos) {
        continue;
      }
      for (unsigned long index : indexesOf(counted->second)) {
        for (const char* e : family.errnos) {
          // The first allocation is the C++ runtime's reserve for exceptions,
          // before tjoin's code runs: without it and all later memory, no
          // bad_alloc can be thrown at all.
          if (index == 1 && family.name == std::string("malloc") && e[std::strlen(e) - 1] == '+') {
            continue;
          }
          jobs.push_back({&c, {family.name, index, e}, 0, {}});
        }
      }
    }
  }
  Job* inSlot[Slots] = {};
  for (std::size_t next = 0, running = 0; next < jobs.size() || running > 0;) {
    for (int slot = 0; slot < Slots && next < jobs.size(); ++slot) {
      if (inSlot[slot] != nullptr) continue;
      inSlot[slot] = &jobs[next++];
      inSlot[slot]->pid = startTjoin(slot, *inSlot[slot]->c, inSlot[slot]->fault);
      ++running;
    }
    int status = 0;
    pid_t ended = waitpid(-1, &status, 0);
    for (int slot = 0; slot < Slots; ++slot) {
      Job* job = inSlot[slot];
      if (job == nullptr || job->pid != ended) continue;
      job->problem = check(slotPath(slot, ""), *job->c, job->fault, outcomeOf(slot, status));
      inSlot[slot] = nullptr;
      --running;
    }
  }
  for (const Job& job : jobs) {
    if (job.problem.empty()) continue;
    std::printf("FAIL %s: %s\n", describe(*job.c, job.fault).c_str(), job.problem.c_str());
    ++failures;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::string families;
  for (const auto& [name, count] : callsCovered) families += " " + name;
  std::printf(
      "%zu runs over %zu situations on %zu systems and %zu functions (%s), %.1f s: %d failed\n",
      cases.size() + 1 + jobs.size(), std::size(Situations), std::size(Systems),
      callsCovered.size(), families.c_str() + 1, seconds, failures);
  std::string rm = "rm -rf " + scratch;
  if (std::system(rm.c_str()) != 0) return 2;
  return failures == 0 ? 0 : 1;
}
