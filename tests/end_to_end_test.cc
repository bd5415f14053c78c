// End-to-end tests: the built tjoin runs on files in a temporary directory,
// and its standard output, standard error, exit status and output file are
// compared byte for byte.
//
// tests/data and examples hold one case per NAME.txt: the input file. Beside
// it, NAME.expected is the expected output file (without it, the output file
// must be left as it was), NAME.stdout and NAME.stderr the expected console
// (absent: nothing). A case with an error line must exit with 1, others with 0.
// On Windows the output file and the console end their lines with CR LF; they
// are compared after each CR LF is made a line feed.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tjoin {
namespace {

namespace fs = std::filesystem;

// The capacities, restated: these tests check the binary from outside.
constexpr int MaxColumnsHere = 50;
constexpr int MaxRowsHere = 10000;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A text file's or the console's bytes with the platform's line ends made line
// feeds. On Windows every line feed must come as CR LF.
std::string fromPlatformText(const std::string& bytes) {
#ifdef _WIN32
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
      ADD_FAILURE() << "a line feed without its CR at byte " << i;
    }
    text += bytes[i];
  }
  return text;
#else
  return bytes;
#endif
}

unsigned mode(const fs::path& path) {
  return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A fresh directory for one test, removed with everything in it at the end.
// Runs happen in work(); their console is captured beside it.
class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    for (unsigned n = std::random_device()();; ++n) {
      root_ = fs::temp_directory_path() / ("tjoin-e2e-" + std::to_string(n));
      if (fs::create_directory(root_)) break;
    }
#else
    std::string name = (fs::temp_directory_path() / "tjoin-e2e-XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(name.data()));
    root_ = name;
    // Reachable by the user nobody, whom some tests run as.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
#endif
    fs::create_directory(work());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path work() const { return root_ / "work"; }

  // Runs tjoin with args in work(); umask -1 keeps the test's own. Standard
  // output is captured, or goes to stdoutTo when given ("" closes it, and
  // "<name" is the file name opened for reading only).
  Outcome run(const std::vector<std::string>& args, int mask = -1, const char* stdoutTo = nullptr) {
    fs::path out = root_ / "stdout", err = root_ / "stderr";
    writeFile(out, "");
    Outcome outcome;
    outcome.status = start(args, mask, stdoutTo, out, err);
    outcome.out = fromPlatformText(readFile(out));
    outcome.err = fromPlatformText(readFile(err));
    return outcome;
  }

#ifdef _WIN32
  // Windows has no umask and no closed standard handle to hand on.
  int start(const std::vector<std::string>& args, int, const char* stdoutTo, const fs::path& out,
            const fs::path& err) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto create = [&](const fs::path& path) {
      return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE outHandle = create(stdoutTo ? fs::path(stdoutTo) : out);
    HANDLE errHandle = create(err);
    std::string command(1, '"');
    command.append(fs::absolute(TJOIN_BINARY).string()).append(1, '"');
    for (const std::string& arg : args) command.append(" \"").append(arg).append(1, '"');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outHandle;
    startup.hStdError = errHandle;
    PROCESS_INFORMATION process{};
    std::string directory = work().string();
    BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  directory.c_str(), &startup, &process);
    CloseHandle(outHandle);
    CloseHandle(errHandle);
    if (!started) return 127;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code & 0xff);  // the low byte, as a POSIX shell sees it
  }
#else
  int start(const std::vector<std::string>& args, int mask, const char* stdoutTo,
            const fs::path& out, const fs::path& err) {
    return finish(spawn(args, mask, stdoutTo, out, err));
  }

  // Starts tjoin as start() does and returns at once with its process id. As
  // the user uid, where one is given (root only). Every signal has its
  // default action and none is blocked, whatever the test runner set.
  pid_t spawn(const std::vector<std::string>& args, int mask, const char* stdoutTo,
              const fs::path& out, const fs::path& err, uid_t uid = 0) {
    pid_t child = fork();
    if (child == 0) {
      for (int signal = 1; signal < NSIG; ++signal) std::signal(signal, SIG_DFL);
      if (ignored_ != 0) std::signal(ignored_, SIG_IGN);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      // SIGQUIT and SIGXCPU dump no core.
      struct rlimit noCore = {0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      if (mask >= 0) umask(static_cast<mode_t>(mask));
      int outFd = stdoutTo && *stdoutTo == '<'
                      ? open(stdoutTo + 1, O_RDONLY)
                      : open(stdoutTo ? stdoutTo : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if ((outFd < 0 && !stdoutTo) || errFd < 0 || chdir(work().c_str()) != 0) _exit(127);
      if (uid != 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(127);
      dup2(outFd, 1);
      dup2(errFd, 2);
      if (stdoutTo && !*stdoutTo) close(1);
      // /proc hidden: the new file cannot be made without a name, and gets
      // one from the start.
      if (hideProc_ && (unshare(CLONE_NEWNS) != 0 ||
                        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                        mount("none", "/proc", "tmpfs", 0, nullptr) != 0)) {
        _exit(126);
      }
      if (addressSpace_ > 0) {
        struct rlimit limit = {addressSpace_, addressSpace_};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
      }
      std::vector<std::string> command = tjoinCommand();
      command.insert(command.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& word : command) argv.push_back(word.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    return child;
  }

  // The command that starts tjoin: the binary (binary_, where set), behind
  // the emulator that runs it where it was built for another system
  // (TJOIN_EMULATOR, set by CTest: its words separated by blanks).
  std::vector<std::string> tjoinCommand() const {
    std::vector<std::string> command;
    const char* words = std::getenv("TJOIN_EMULATOR");
    std::istringstream emulator(words != nullptr ? words : "");
    for (std::string word; emulator >> word;) command.push_back(word);
    command.push_back(binary_.empty() ? std::string(TJOIN_BINARY) : binary_.string());
    return command;
  }
  static bool emulated() {
    const char* emulator = std::getenv("TJOIN_EMULATOR");
    return emulator != nullptr && *emulator != '\0';
  }

  // Runs script with sh in work(), tjoin's command as its arguments ("$@").
  int shell(const std::string& script) {
    pid_t child = fork();
    if (child == 0) {
      std::vector<std::string> command = tjoinCommand();
      std::vector<char*> argv{const_cast<char*>("sh"), const_cast<char*>("-c"),
                              const_cast<char*>(script.c_str()), const_cast<char*>("sh")};
      for (std::string& word : command) argv.push_back(word.data());
      argv.push_back(nullptr);
      if (chdir(work().c_str()) == 0) execv("/bin/sh", argv.data());
      _exit(127);
    }
    return finish(child);
  }

  // Waits for a child; its exit status, or 1000 and the signal that ended it.
  static int finish(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return outcomeOf(status);
  }
  static int outcomeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }

  // Whether user may run the program at path: every directory above it open
  // to them.
  static bool reachableBy(uid_t user, const fs::path& path) {
    pid_t child = fork();
    if (child == 0) {
      bool can = setgid(user) == 0 && setuid(user) == 0 && access(path.c_str(), X_OK) == 0;
      _exit(can ? 0 : 1);
    }
    return finish(child) == 0;
  }

  // Makes the runs use a copy of tjoin in the test's directory, which user can
  // reach where the build tree lies in a private directory such as /root.
  // Returns false where user cannot reach even that (a private temporary
  // directory).
  bool runnableBy(uid_t user) {
    binary_ = root_ / "tjoin";
    fs::copy_file(TJOIN_BINARY, binary_, fs::copy_options::overwrite_existing);
    fs::permissions(binary_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(root_, fs::perms::all);
    return reachableBy(user, binary_);
  }
#endif

  // Writes input to in.txt, a previous output to out.txt, and runs on both.
  Outcome runOn(const std::string& input) {
    writeFile(work() / "in.txt", input);
    writeFile(work() / "out.txt", PreviousOutput);
    return run({"in.txt", "out.txt"});
  }

  std::string output() { return fromPlatformText(readFile(work() / "out.txt")); }

  // Without a line end, so that it reads the same on every platform.
  static constexpr const char* PreviousOutput = "an earlier output";
  fs::path root_;
#ifndef _WIN32
  rlim_t addressSpace_ = 0;  // the runs' address space in bytes, where not 0
  fs::path binary_;          // a copy of tjoin that runs instead, where not empty
  bool hideProc_ = false;    // runs in a mount namespace with /proc hidden (root only)
  int ignored_ = 0;          // a signal the runs start with ignored, where not 0
#endif
};

// The cases of tests/data and examples: their paths without ".txt".
std::vector<std::string> dataCases() {
  std::vector<std::string> cases;
  for (const char* dir : {TJOIN_TEST_DATA, TJOIN_EXAMPLES}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      fs::path path = entry.path();
      if (path.extension() == ".txt") cases.push_back(path.replace_extension().string());
    }
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

// The file beside a case with the given extension, or "" when there is none.
std::string caseFile(const std::string& base, const char* extension) {
  fs::path path = base + extension;
  return fs::exists(path) ? readFile(path) : std::string();
}

class DataCase : public EndToEnd, public testing::WithParamInterface<std::string> {};

TEST_P(DataCase, MatchesExpectedBytes) {
  const std::string& base = GetParam();
  Outcome outcome = runOn(readFile(base + ".txt"));
  EXPECT_EQ(caseFile(base, ".stdout"), outcome.out);
  EXPECT_EQ(caseFile(base, ".stderr"), outcome.err);
  EXPECT_EQ(outcome.err.empty() ? 0 : 1, outcome.status);
  if (fs::exists(base + ".expected")) {
    EXPECT_EQ(readFile(base + ".expected"), output());
  } else {
    EXPECT_EQ(PreviousOutput, output());
  }
}

INSTANTIATE_TEST_SUITE_P(Files, DataCase, testing::ValuesIn(dataCases()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           fs::path path(info.param);
                           return path.parent_path().filename().string() + "_" +
                                  path.filename().string();
                         });

TEST_F(EndToEnd, UsageWithoutTwoArguments) {
  writeFile(work() / "a", "join(A)\n\nA(x t)\n1\n");
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"a"}, {"a", "b", "c"}}) {
    Outcome outcome = run(args);
    EXPECT_EQ("Usage: tjoin <inputfile> <outputfile>\n", outcome.out);
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(255, outcome.status);
  }
  EXPECT_FALSE(fs::exists(work() / "b"));
  EXPECT_FALSE(fs::exists(work() / "c"));
}

TEST_F(EndToEnd, InputThatCannotBeRead) {
  writeFile(work() / "out.txt", PreviousOutput);
  Outcome missing = run({"missing.txt", "out.txt"});
  EXPECT_EQ("", missing.out);
  EXPECT_EQ("tjoin: cannot read 'missing.txt': No such file or directory\n", missing.err);
  EXPECT_EQ(1, missing.status);

  Outcome notCreated = run({"missing.txt", "new.txt"});
  EXPECT_EQ(1, notCreated.status);
  EXPECT_FALSE(fs::exists(work() / "new.txt"));

#ifdef _WIN32
  GTEST_SKIP() << "Windows names no directory as such, and refuses control bytes in file names";
#endif
  fs::create_directory(work() / "dir");
  Outcome directory = run({"dir", "out.txt"});
  EXPECT_EQ("tjoin: cannot read 'dir': Is a directory\n", directory.err);
  EXPECT_EQ(1, directory.status);
  EXPECT_EQ(PreviousOutput, output());

  // Control bytes in a name are escaped: the message stays one line.
  Outcome oddName = run({"no\nsuch\x1b", "out.txt"});
  EXPECT_EQ("tjoin: cannot read 'no\\nsuch\\x1b': No such file or directory\n", oddName.err);
}

TEST_F(EndToEnd, MessagesNameTheFileAsGivenAndTheLine) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses control bytes in file names";
#endif
  // Not quoted, so that editors find the place; escaped, so that it stays one line.
  fs::create_directory(work() / "sub");
  writeFile(work() / "sub" / "in\n\x1b.txt", "join(A)\n\nA(x t)\n1,g(x)\n");
  Outcome outcome = run({"sub/in\n\x1b.txt", "out.txt"});
  EXPECT_EQ("tjoin: sub/in\\n\\x1b.txt:4: table 'A': a value may not hold \"(\": '1,g(x)'\n",
            outcome.err);
  EXPECT_EQ(1, outcome.status);
}

TEST_F(EndToEnd, InputTooLargeToHold) {
  // Sparse: it takes no disk, and tjoin refuses it from its size alone. One
  // byte past the limit, and well past it.
  for (std::uintmax_t size : {std::uintmax_t{4294967295}, std::uintmax_t{5} << 30}) {
    writeFile(work() / "big.txt", "");
    fs::resize_file(work() / "big.txt", size);
    writeFile(work() / "out.txt", PreviousOutput);
    Outcome outcome = run({"big.txt", "out.txt"});
    EXPECT_EQ("tjoin: 'big.txt': the file is " + std::to_string(size) +
                  " bytes; tjoin reads files of at most 4294967294 bytes\n",
              outcome.err);
    EXPECT_EQ(1, outcome.status);
    EXPECT_EQ(PreviousOutput, output());
  }
}

TEST_F(EndToEnd, OutputThatCannotBeWritten) {
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n");
  Outcome noDirectory = run({"in.txt", "nowhere/out.txt"});
  EXPECT_EQ("tjoin: cannot write 'nowhere/out.txt': No such file or directory\n", noDirectory.err);
  EXPECT_EQ(1, noDirectory.status);

#ifdef _WIN32
  GTEST_SKIP() << "Windows has no /dev/full";
#endif
  Outcome full = run({"in.txt", "/dev/full"});
  EXPECT_EQ("tjoin: cannot write '/dev/full': No space left on device\n", full.err);
  EXPECT_EQ(1, full.status);
}

TEST_F(EndToEnd, ConsoleThatCannotBeWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no /dev/full, and the runner hands on no closed handle";
#endif
  // A run with a message to print fails before the output file is touched.
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(y t)\n2\n");
  // The usage line too is said on standard error, with the usage status.
  for (auto [sink, reason] :
       {std::pair{"/dev/full", "No space left on device"}, std::pair{"", "Bad file descriptor"}}) {
    Outcome outcome = run({"in.txt", "out.txt"}, -1, sink);
    EXPECT_EQ(std::string("tjoin: cannot write standard output: ") + reason + "\n", outcome.err);
    EXPECT_EQ(1, outcome.status);
    EXPECT_FALSE(fs::exists(work() / "out.txt"));
    Outcome usage = run({}, -1, sink);
    EXPECT_EQ(outcome.err, usage.err);
    EXPECT_EQ(255, usage.status);
  }
  // A run without one is not affected, and its output file never takes the
  // closed descriptor 1.
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n");
  Outcome quiet = run({"in.txt", "out.txt"}, -1, "");
  EXPECT_EQ(0, quiet.status);
  EXPECT_EQ("join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n\nresult(x t)\n1\n\n", output());
}

TEST_F(EndToEnd, ConsoleMessagesComeBeforeAnError) {
  std::string rows;
  for (int r = 0; r < 101; ++r) rows += std::to_string(r) + "\n";
  Outcome outcome = runOn("join(A,B)\n\nA(x t)\n" + rows + "\nB(y t)\n" + rows);
  EXPECT_EQ("Kozos oszlop: Nincs\n", outcome.out);
  EXPECT_EQ("tjoin: fold step 1 ('A' with 'B'): the result would have more than 10000 rows\n",
            outcome.err);
  EXPECT_EQ(1, outcome.status);
  EXPECT_EQ(PreviousOutput, output());
}

TEST_F(EndToEnd, CreatesTheOutputWithMode0664) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no permission bits and no umask";
#endif
  writeFile(work() / "in.txt", "join(A)\n\nA(x t)\n1\n");
  ASSERT_EQ(0, run({"in.txt", "open.txt"}, 0).status);
  EXPECT_EQ(0664u, mode(work() / "open.txt"));
  ASSERT_EQ(0, run({"in.txt", "masked.txt"}, 022).status);
  EXPECT_EQ(0644u, mode(work() / "masked.txt"));
}

TEST_F(EndToEnd, ReplacesAnExistingOutputWhole) {
  writeFile(work() / "out.txt", std::string(10000, 'x'));
  writeFile(work() / "in.txt", "join(A)\n\nA(x t)\n1\n");
  ASSERT_EQ(0, run({"in.txt", "out.txt"}).status);
  EXPECT_EQ("join(A)\n\nA(x t)\n1\n\nresult(x t)\n1\n\n", output());
}

TEST_F(EndToEnd, OutputMayReplaceItsInput) {
  const std::string input = "join(A,B)\n\nA(x t, y t)\n1,a\n2,b\n\nB(y t)\nb\n";
  writeFile(work() / "same.txt", input);
  ASSERT_EQ(0, run({"same.txt", "same.txt"}).status);
  const std::string joined =
      "join(A,B)\n\nA(x t, y t)\n1,a\n2,b\n\nB(y t)\nb\n\nresult(x t, y t)\n2,b\n\n";
  EXPECT_EQ(joined, fromPlatformText(readFile(work() / "same.txt")));
  // Read again, it holds the same tables and so gives the same file.
  ASSERT_EQ(0, run({"same.txt", "same.txt"}).status);
  EXPECT_EQ(joined, fromPlatformText(readFile(work() / "same.txt")));

  // A failed run leaves it as it was.
  writeFile(work() / "bad.txt", "join(A,B)\n\nA(x t)\n");
  EXPECT_EQ(1, run({"bad.txt", "bad.txt"}).status);
  EXPECT_EQ("join(A,B)\n\nA(x t)\n", readFile(work() / "bad.txt"));
}

TEST_F(EndToEnd, OutputReadAgainGivesTheSameTables) {
  for (const std::string& base : dataCases()) {
    if (!fs::exists(base + ".expected")) continue;
    SCOPED_TRACE(base);
    std::string first = readFile(base + ".expected");
    Outcome again = runOn(first);
    ASSERT_EQ(0, again.status);
    // The input tables come out as they went in; the result block is not read.
    std::string second = output();
    std::size_t tables = first.rfind("result(");
    EXPECT_EQ(first.substr(0, tables), second.substr(0, tables));
  }
}

TEST_F(EndToEnd, FullCapacityTables) {
  // 50 columns and 10000 rows read whole, joined one to one with a key table:
  // the result fills a Relation exactly.
  std::string header = "L(k t";
  for (int c = 1; c < MaxColumnsHere; ++c) header += ", a" + std::to_string(c) + " t";
  std::string left, keys;
  for (int r = 0; r < MaxRowsHere; ++r) {
    std::string key = std::to_string(MaxRowsHere - 1 - r);
    left += key + std::string(MaxColumnsHere - 2, ',') + ",v" + key + "\n";
    keys += std::to_string(r) + "\n";
  }
  std::string input = "join(L,K)\n\n" + header + ")\n" + left + "\nK(k t)\n" + keys;
  Outcome outcome = runOn(input);
  ASSERT_EQ("", outcome.err);
  std::string written = output();
  // The input tables come back byte for byte, the result holds every row.
  ASSERT_EQ(input + "\n", written.substr(0, input.size() + 1));
  std::string result = written.substr(input.size() + 1);
  EXPECT_EQ(MaxRowsHere + 2, std::count(result.begin(), result.end(), '\n'));
  EXPECT_EQ(0u, result.find("result(k t, a1 t,"));
  EXPECT_NE(std::string::npos, result.find("\n0" + std::string(MaxColumnsHere - 2, ',') + ",v0\n"));

  Outcome tooLong = runOn("join(L)\n\nL(k t)\n" + keys + "10000\n");
  EXPECT_EQ("tjoin: in.txt:10004: table 'L' has more than 10000 rows\n", tooLong.err);
  EXPECT_EQ(PreviousOutput, output());
}

TEST_F(EndToEnd, KeepsEveryByte) {
  // NUL, bytes that are not UTF-8 and control bytes other than white space
  // (Ctrl-Z among them) are plain bytes of names and cells.
  const char bytes[] =
      "join(T\xff,U)\n\nx(k\x01 t\x80, v\0 t)\n\xc0\xaf\x00,\x7f\xfe\x1a\n\n"
      "y(k\x01 t\x80)\n\xc0\xaf\x00\n";
  std::string input(bytes, sizeof bytes - 1);
  Outcome outcome = runOn(input);
  ASSERT_EQ("", outcome.err);
  const char expected[] =
      "join(T\xff,U)\n\nT\xff(k\x01 t\x80, v\0 t)\n\xc0\xaf\x00,\x7f\xfe\x1a\n\n"
      "U(k\x01 t\x80)\n\xc0\xaf\x00\n\n"
      "result(k\x01 t\x80, v\0 t)\n\xc0\xaf\x00,\x7f\xfe\x1a\n\n";
  EXPECT_EQ(std::string(expected, sizeof expected - 1), output());
}

TEST_F(EndToEnd, HugeWordsAndLines) {
  // A 10 MB cell and a 1 MB column name on a long header line.
  std::string cell(10 << 20, 'c');
  std::string name(1 << 20, 'n');
  Outcome outcome = runOn("join(A,B)\n\nA(" + name + " t, k t)\n" + cell + ",1\n\nB(k t)\n1\n");
  ASSERT_EQ("", outcome.err);
  std::string result = "result(" + name + " t, k t)\n" + cell + ",1\n\n";
  std::string written = output();
  ASSERT_GT(written.size(), result.size());
  EXPECT_TRUE(written.compare(written.size() - result.size(), result.size(), result) == 0);
}

#ifndef _WIN32
// The names in dir of files that tjoin makes to replace an output.
std::vector<std::string> newFilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.find(".tjoin-") != std::string::npos) names.push_back(name);
  }
  return names;
}

TEST_F(EndToEnd, KeepsWhatTheOutputFileIs) {
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n");
  const std::string joined = "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n\nresult(x t)\n1\n\n";
  auto earlier = [&](const char* name) { writeFile(work() / name, PreviousOutput); };
  auto at = [&](const char* name) { return (work() / name).string(); };
  const bool root = geteuid() == 0;
  struct Case {
    const char* what;
    const char* output;
    std::function<void()> before;
    std::function<void()> check;  // beyond a run without a message
  };
  const Case cases[] = {
      {"mode 0600 stays", "private.txt",
       [&] {
         earlier("private.txt");
         chmod(at("private.txt").c_str(), 0600);
       },
       [&] { EXPECT_EQ(0600u, mode(work() / "private.txt")); }},
      {"owner and group stay (as root)", "owned.txt",
       [&] {
         earlier("owned.txt");
         if (root) {
           EXPECT_EQ(0, chown(at("owned.txt").c_str(), 1234, 5678));
         }
       },
       [&] {
         struct stat info;
         ASSERT_EQ(0, stat(at("owned.txt").c_str(), &info));
         EXPECT_EQ(root ? 1234u : geteuid(), info.st_uid);
         EXPECT_EQ(root ? 5678u : getegid(), info.st_gid);
       }},
      {"a symbolic link stays a link, its target gets the output", "link.txt",
       [&] {
         earlier("target.txt");
         fs::create_symlink("target.txt", work() / "link.txt");
       },
       [&] {
         EXPECT_TRUE(fs::is_symlink(work() / "link.txt"));
         EXPECT_EQ(joined, readFile(work() / "target.txt"));
       }},
      {"a dangling link creates its target", "dangling.txt",
       [&] { fs::create_symlink("made.txt", work() / "dangling.txt"); },
       [&] {
         EXPECT_TRUE(fs::is_symlink(work() / "dangling.txt"));
         EXPECT_EQ(joined, readFile(work() / "made.txt"));
       }},
      {"two hard links both show the output", "one.txt",
       [&] {
         earlier("one.txt");
         fs::create_hard_link(work() / "one.txt", work() / "two.txt");
       },
       [&] {
         EXPECT_EQ(2u, fs::hard_link_count(work() / "one.txt"));
         EXPECT_EQ(joined, readFile(work() / "two.txt"));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.before();
    Outcome outcome = run({"in.txt", c.output});
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(0, outcome.status);
    EXPECT_EQ(joined, readFile(work() / c.output));
    c.check();
  }
  fs::create_symlink("nowhere/x.txt", work() / "astray.txt");
  Outcome astray = run({"in.txt", "astray.txt"});
  EXPECT_EQ("tjoin: cannot write 'astray.txt': No such file or directory\n", astray.err);
  EXPECT_EQ(1, astray.status);
  EXPECT_EQ(std::vector<std::string>{}, newFilesIn(work()));
}

TEST_F(EndToEnd, StandardStreamAsTheOutputKeepsItsOffset) {
  // The shell's redirection opens all.txt once; tjoin writes where the shell
  // stands in it and neither empties it nor replaces it.
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n");
  const std::string joined = "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n\nresult(x t)\n1\n\n";
  for (const char* stream : {"stdout", "stderr"}) {
    SCOPED_TRACE(stream);
    const std::string fd = stream == std::string("stdout") ? "1" : "2";
    ASSERT_EQ(0, shell("{ echo head >&" + fd + "; \"$@\" in.txt /dev/" + stream + "; echo tail >&" +
                       fd + "; } " + fd + ">all.txt"));
    EXPECT_EQ("head\n" + joined + "tail\n", readFile(work() / "all.txt"));
  }
}

TEST_F(EndToEnd, StandardStreamNotOpenForWritingIsNoOutput) {
  // Descriptor 1 stands for the file only when tjoin may write to it: closed
  // (then the null device, read-only, stands in for it) or read-only, the
  // path is opened as any other.
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n");
  Outcome devNull = run({"in.txt", "/dev/null"}, -1, "");
  EXPECT_EQ("", devNull.err);
  EXPECT_EQ(0, devNull.status);
  writeFile(work() / "ro.txt", PreviousOutput);
  Outcome readOnly = run({"in.txt", "ro.txt"}, -1, ("<" + (work() / "ro.txt").string()).c_str());
  EXPECT_EQ("", readOnly.err);
  EXPECT_EQ(0, readOnly.status);
  EXPECT_EQ("join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n\nresult(x t)\n1\n\n",
            readFile(work() / "ro.txt"));
}

TEST_F(EndToEnd, PathsAsLongAndLinksAsManyAsTheSystemTakes) {
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n");
  const std::string joined = "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n\nresult(x t)\n1\n\n";
  // A path a few bytes short of PATH_MAX, whose hidden new file beside it
  // would not be: made, then replaced.
  const std::size_t deepSize = PATH_MAX - 100;
  fs::path deep = work();
  while (deep.string().size() + 201 <= deepSize) deep /= std::string(200, 'd');
  if (deepSize - deep.string().size() >= 2) {
    deep /= std::string(deepSize - deep.string().size() - 1, 'e');
  }
  fs::create_directories(deep);
  const fs::path longest = deep / std::string(PATH_MAX - 9 - deep.string().size(), 'o');
  for (const char* round : {"new", "replaced"}) {
    SCOPED_TRACE(round);
    Outcome outcome = run({"in.txt", longest.string()});
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(0, outcome.status);
    EXPECT_EQ(joined, readFile(longest));
    EXPECT_EQ(std::vector<std::string>{}, newFilesIn(deep));
  }

  // A chain of 40 links, as many as the system follows, leads to the file
  // it replaces; one more is an error.
  writeFile(work() / "target.txt", PreviousOutput);
  fs::create_symlink("target.txt", work() / "link0");
  for (int i = 1; i <= 40; ++i) {
    fs::create_symlink("link" + std::to_string(i - 1), work() / ("link" + std::to_string(i)));
  }
  Outcome forty = run({"in.txt", "link39"});
  EXPECT_EQ("", forty.err);
  EXPECT_EQ(0, forty.status);
  EXPECT_EQ(joined, readFile(work() / "target.txt"));
  EXPECT_TRUE(fs::is_symlink(work() / "link0"));
  Outcome fortyOne = run({"in.txt", "link40"});
  EXPECT_EQ("tjoin: cannot write 'link40': Too many levels of symbolic links\n", fortyOne.err);
  EXPECT_EQ(1, fortyOne.status);
  EXPECT_EQ(std::vector<std::string>{}, newFilesIn(work()));
}

TEST_F(EndToEnd, FileSizeLimitIsAnErrorThatKeepsTheFiles) {
  const std::string input = "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n";
  struct Case {
    const char* what;
    const char* output;
    bool linked;  // a second hard link: written in place
  };
  const Case cases[] = {
      {"new output", "new.txt", false},
      {"replaced output", "out.txt", false},
      {"in place", "out.txt", true},
      {"the input in place", "in.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(work() / "in.txt", input);
    writeFile(work() / "out.txt", PreviousOutput);
    if (c.linked) fs::create_hard_link(work() / c.output, work() / "link.txt");
    // The console goes through a pipe, which the limit does not hold.
    ASSERT_EQ(0, shell(std::string("{ (ulimit -f 0; exec \"$@\" in.txt ") + c.output +
                       "); echo \"status $?\"; } 2>&1 | cat >../console"));
    EXPECT_EQ(std::string("tjoin: cannot write '") + c.output + "': File too large\nstatus 1\n",
              readFile(root_ / "console"));
    EXPECT_EQ(input, readFile(work() / "in.txt"));
    EXPECT_EQ(PreviousOutput, readFile(work() / "out.txt"));
    EXPECT_FALSE(fs::exists(work() / "new.txt"));
    EXPECT_EQ(std::vector<std::string>{}, newFilesIn(work()));
    fs::remove(work() / "link.txt");
  }
}

TEST_F(EndToEnd, SetUserAndGroupIdBitsStay) {
  // Replaced by its owner, unprivileged: as the user nobody where the tests
  // run as root. A write by such a process clears these bits; they are set
  // on the new file after its content.
  const uid_t user = geteuid() == 0 ? 65534 : 0;
  if (user != 0 && !runnableBy(user)) {
    GTEST_SKIP() << "the user " << user << " cannot reach " << binary_
                 << ": the temporary directory is private";
  }
  writeFile(work() / "in.txt", "join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n");
  ASSERT_EQ(0, chmod((work() / "in.txt").c_str(), 0644));
  writeFile(work() / "tool.txt", PreviousOutput);
  if (user != 0) {
    ASSERT_EQ(0, chown(work().c_str(), user, user));
    ASSERT_EQ(0, chown((work() / "tool.txt").c_str(), user, user));
  }
  ASSERT_EQ(0, chmod((work() / "tool.txt").c_str(), 06755));
  fs::path out = root_ / "stdout", err = root_ / "stderr";
  EXPECT_EQ(0, finish(spawn({"in.txt", "tool.txt"}, -1, nullptr, out, err, user)));
  EXPECT_EQ("", readFile(err));
  EXPECT_EQ("join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n\nresult(x t)\n1\n\n",
            readFile(work() / "tool.txt"));
  struct stat info;
  ASSERT_EQ(0, stat((work() / "tool.txt").c_str(), &info));
  EXPECT_EQ(06755u, info.st_mode & 07777);
}

TEST_F(EndToEnd, AnUnprivilegedUserWritesInPlaceOrNotAtAll) {
  // Root may write anywhere: the run is then made as the user nobody, from a
  // copy of tjoin in the test's directory, which nobody can reach where the
  // build tree lies in a private directory such as /root.
  const uid_t user = geteuid() == 0 ? 65534 : 0;
  if (user != 0 && !runnableBy(user)) {
    GTEST_SKIP() << "the user " << user << " cannot reach " << binary_
                 << ": the temporary directory is private";
  }
  fs::create_directory(work() / "shut");
  writeFile(work() / "in.txt", "join(A)\n\nA(x t)\n1\n");
  writeFile(work() / "shut/out.txt", PreviousOutput);
  fs::permissions(work(), fs::perms::all);
  if (user != 0) {
    ASSERT_EQ(0, chown((work() / "shut/out.txt").c_str(), user, user));
  }
  fs::permissions(work() / "shut", fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
  const auto inode = [&] {
    struct stat info;
    return stat((work() / "shut/out.txt").c_str(), &info) == 0 ? info.st_ino : 0;
  };
  const ino_t before = inode();
  fs::path out = root_ / "stdout", err = root_ / "stderr";
  EXPECT_EQ(0, finish(spawn({"in.txt", "shut/out.txt"}, -1, nullptr, out, err, user)));
  EXPECT_EQ("", readFile(err));
  EXPECT_EQ("join(A)\n\nA(x t)\n1\n\nresult(x t)\n1\n\n", readFile(work() / "shut/out.txt"));
  EXPECT_EQ(before, inode());
  fs::permissions(work() / "shut", fs::perms::all);

  // A file that its bits keep from the user, in a directory open to them, is
  // refused as an open for writing would refuse it: not replaced.
  writeFile(work() / "shut/kept.txt", PreviousOutput);
  if (user != 0) {
    ASSERT_EQ(0, chown((work() / "shut").c_str(), user, user));
    ASSERT_EQ(0, chown((work() / "shut/kept.txt").c_str(), user, user));
  }
  fs::permissions(work() / "shut/kept.txt",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(1, finish(spawn({"in.txt", "shut/kept.txt"}, -1, nullptr, out, err, user)));
  EXPECT_EQ("tjoin: cannot write 'shut/kept.txt': Permission denied\n", readFile(err));
  EXPECT_EQ(PreviousOutput, readFile(work() / "shut/kept.txt"));
  EXPECT_EQ(std::vector<std::string>{}, newFilesIn(work() / "shut"));
}

// Whether child has ended, without reaping it: it can still be signalled.
bool ended(pid_t child) {
  siginfo_t info{};
  return waitid(P_PID, child, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child;
}

// The bytes that child has written so far (Linux's /proc/PID/io), or -1.
long long bytesWrittenBy(pid_t child) {
  std::ifstream io("/proc/" + std::to_string(child) + "/io");
  for (std::string key; io >> key;) {
    long long n = -1;
    io >> n;
    if (key == "wchar:") return n;
  }
  return -1;
}

// Stops child (SIGSTOP) as soon as reached() is true, without reaping it.
// Returns whether it was stopped before it ended.
bool stopWhen(pid_t child, const std::function<bool()>& reached) {
  while (!ended(child) && !reached()) usleep(100);
  if (kill(child, SIGSTOP) != 0) return false;
  siginfo_t info{};
  return waitid(P_PID, child, &info, WSTOPPED | WEXITED | WNOWAIT) == 0 &&
         info.si_code == CLD_STOPPED;
}

// Whether the system makes files without a name in dir and names them
// through /proc, as tjoin's new files are made where it can.
bool makesUnnamedFiles(const fs::path& dir) {
#ifdef O_TMPFILE
  int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (fd < 0) return false;
  bool shown = fs::exists("/proc/self/fd/" + std::to_string(fd));
  close(fd);
  return shown;
#else
  (void)dir;
  return false;
#endif
}

// A large job: about 1.6 MB of input used as its own output, 3.2 MB of
// output.
std::string largeInput() {
  std::string input = "join(A,B)\n\nA(k t, v t)\n";
  for (int r = 0; r < MaxRowsHere; ++r) {
    input += std::to_string(r) + "," + std::string(150, static_cast<char>('a' + r % 26)) + "\n";
  }
  input += "\nB(k t)\n";
  for (int r = 0; r < MaxRowsHere; ++r) input += std::to_string(r) + "\n";
  return input;
}

TEST_F(EndToEnd, ASignalLeavesTheOldFileOrTheWholeNewOneAndNoOtherFile) {
  const std::string input = largeInput();
  writeFile(work() / "io.txt", input);
  ASSERT_EQ(0, run({"io.txt", "new.txt"}).status);
  const std::string output = readFile(work() / "new.txt");
  fs::remove(work() / "new.txt");

  // Every signal that ends a process, and SIGKILL, which tjoin cannot catch.
  std::vector<int> signals = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGALRM, SIGUSR1,
                              SIGUSR2, SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF, SIGKILL};
  // An emulator keeps some real-time signals for itself and maps the others.
  if (!emulated()) {
    signals.push_back(SIGRTMIN);
    signals.push_back(SIGRTMAX);
  }
#ifdef SIGPOLL
  signals.push_back(SIGPOLL);
#endif
  // When: at once, at the first byte written, and half way.
  const long long moments[] = {0, 1, static_cast<long long>(output.size() / 2)};
  int caught = 0;
  // The new file made without a name where the system can, then (as root,
  // with /proc hidden) with its hidden name from the start.
  for (bool named : {false, true}) {
    bool sanitized = false;
#if defined(TJOIN_SANITIZED)
    sanitized = true;  // the leak checker needs /proc at exit
#endif
    if (named && (geteuid() != 0 || emulated() || sanitized)) {
      std::cout << "named new files not tried: they need root, /proc for the sanitizers, and "
                   "no emulator\n";
      continue;
    }
    hideProc_ = named;
    const bool unnamed = !named && makesUnnamedFiles(work());
    if (!named && !unnamed) std::cout << "no file without a name here: SIGKILL may leave one\n";
    for (int signal : signals) {
      for (long long moment : moments) {
        // At once only for two; the named file only half way.
        if (moment == 0 && (named || (signal != SIGTERM && signal != SIGKILL))) continue;
        if (named && moment == 1) continue;
        SCOPED_TRACE(std::string(named ? "named" : "unnamed") + ", signal " +
                     std::to_string(signal) + ", moment " + std::to_string(moment));
        writeFile(work() / "io.txt", input);
        pid_t child = spawn({"io.txt", "io.txt"}, -1, nullptr, root_ / "stdout", root_ / "stderr");
        bool stopped = stopWhen(child, [&] { return bytesWrittenBy(child) >= moment; });
        kill(child, signal);
        if (stopped) kill(child, SIGCONT);
        int status = finish(child);
        ASSERT_NE(126, status) << "cannot hide /proc";
        std::string now = readFile(work() / "io.txt");
        if (status == 0) {
          EXPECT_EQ(output, now);
        } else {
          // Ended by that very signal, the old file there.
          EXPECT_EQ(1000 + signal, status) << readFile(root_ / "stderr");
          EXPECT_TRUE(now == input || now == output) << "a torn file of " << now.size() << " bytes";
          caught += stopped && moment > 0;
        }
        std::vector<std::string> left = newFilesIn(work());
        if (signal != SIGKILL) {
          EXPECT_EQ(std::vector<std::string>{}, left);
        } else if (unnamed) {
          // A file without a name leaves nothing, but in the instant between
          // naming the whole file and the rename (an emulator's slow run may
          // be stopped only there).
          for (const std::string& name : left) EXPECT_EQ(output, readFile(work() / name)) << name;
        }
        for (const std::string& name : left) fs::remove(work() / name);
      }
    }
  }
  hideProc_ = false;

  // A signal that the caller ignores (nohup) stays ignored.
  ignored_ = SIGHUP;
  writeFile(work() / "io.txt", input);
  pid_t child = spawn({"io.txt", "io.txt"}, -1, nullptr, root_ / "stdout", root_ / "stderr");
  bool stopped = stopWhen(child, [&] { return bytesWrittenBy(child) >= 1; });
  kill(child, SIGHUP);
  if (stopped) kill(child, SIGCONT);
  EXPECT_EQ(0, finish(child));
  EXPECT_EQ(output, readFile(work() / "io.txt"));
  ignored_ = 0;
  if (caught == 0) GTEST_SKIP() << "no run was stopped while it wrote";
}

TEST_F(EndToEnd, AnInterruptedWriteInPlaceLeavesTheOldFileOrTheWholeNewOne) {
  // A second hard link: the file is emptied and written in place, and a
  // SIGINT waits until it is whole.
  const std::string input = largeInput();
  writeFile(work() / "io.txt", input);
  ASSERT_EQ(0, run({"io.txt", "new.txt"}).status);
  const std::string output = readFile(work() / "new.txt");
  fs::create_hard_link(work() / "io.txt", work() / "link.txt");
  const fs::path io = work() / "io.txt";
  int caught = 0;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    writeFile(io, input);
    pid_t child = spawn({"io.txt", "io.txt"}, -1, nullptr, root_ / "stdout", root_ / "stderr");
    // At once, or once the file is emptied.
    bool stopped = round % 2 == 1 && stopWhen(child, [&] {
                     std::error_code gone;
                     return fs::file_size(io, gone) != input.size();
                   });
    kill(child, SIGINT);
    if (stopped) kill(child, SIGCONT);
    int status = finish(child);
    EXPECT_TRUE(status == 0 || status == 1000 + SIGINT) << status;
    std::string now = readFile(io);
    EXPECT_TRUE(now == input || now == output) << "a torn file of " << now.size() << " bytes";
    caught += stopped && now == output && status != 0;
  }
  if (caught == 0) GTEST_SKIP() << "no run was stopped while it wrote";
}

TEST_F(EndToEnd, TwoRunsWritingOneFileInPlaceLeaveOneWholeOutput) {
  // Two jobs with outputs of their own, started together on one hard-linked
  // output: the second waits for the first.
  std::string inputs[2] = {largeInput(), largeInput()};
  // Of other lengths: the longer one's end would show past the shorter one.
  inputs[1].replace(inputs[1].find("A(k t"), 1, "Zed");
  inputs[1].replace(inputs[1].find("join(A"), 6, "join(Zed");
  std::string outputs[2];
  for (int i = 0; i < 2; ++i) {
    writeFile(work() / ("in" + std::to_string(i) + ".txt"), inputs[i]);
    ASSERT_EQ(0, run({"in" + std::to_string(i) + ".txt", "single.txt"}).status);
    outputs[i] = readFile(work() / "single.txt");
  }
  ASSERT_NE(outputs[0], outputs[1]);
  writeFile(work() / "out.txt", PreviousOutput);
  fs::create_hard_link(work() / "out.txt", work() / "link.txt");
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    pid_t first = spawn({"in0.txt", "out.txt"}, -1, nullptr, root_ / "stdout0", root_ / "stderr0");
    pid_t second = spawn({"in1.txt", "out.txt"}, -1, nullptr, root_ / "stdout1", root_ / "stderr1");
    EXPECT_EQ(0, finish(first));
    EXPECT_EQ(0, finish(second));
    std::string now = readFile(work() / "out.txt");
    EXPECT_TRUE(now == outputs[0] || now == outputs[1])
        << "mixed output of " << now.size() << " bytes";
  }
}

TEST_F(EndToEnd, InputThroughAPipe) {
  // A pipe has no size to go by: the text grows as it reads, from one byte.
  std::string rows;
  for (int r = 0; r < 50000; ++r) rows += std::to_string(r) + ",v" + std::to_string(r) + "\n";
  for (const std::string& input :
       {std::string("join(A,B)\n\nA(x t)\n1\n\nB(x t)\n1\n"),
        "join(A,B)\n\nA(x t, y t)\n" + rows.substr(0, rows.find("10000,")) + "\nB(x t)\n7\n"}) {
    SCOPED_TRACE(input.size());
    writeFile(work() / "in.txt", input);
    ASSERT_EQ(0, run({"in.txt", "file.txt"}).status);
    ASSERT_EQ(0, shell("cat in.txt | \"$@\" /dev/stdin piped.txt"));
    EXPECT_EQ(readFile(work() / "file.txt"), readFile(work() / "piped.txt"));
  }
}

TEST_F(EndToEnd, OutOfMemoryIsOneLine) {
#if defined(TJOIN_SANITIZED)
  GTEST_SKIP() << "the sanitizers need more address space than the limits below";
#endif
  if (emulated()) GTEST_SKIP() << "the emulator keeps the address space limit to itself";
  // 16 MB of input: read whole, it does not fit in 40 MB of address space
  // beside the Relations; 8 MB leaves no room for the Relations themselves.
  std::string input = "join(A,B)\n\nA(x t)\n" + std::string(16 << 20, 'v') + "\n\nB(x t)\n1\n";
  for (rlim_t limit : {rlim_t{40} << 20, rlim_t{8} << 20}) {
    SCOPED_TRACE(limit);
    addressSpace_ = limit;
    Outcome outcome = runOn(input);
    EXPECT_EQ("tjoin: out of memory\n", outcome.err);
    EXPECT_EQ(1, outcome.status);
    EXPECT_EQ(PreviousOutput, output());
  }
}
#endif

}  // namespace
}  // namespace tjoin
