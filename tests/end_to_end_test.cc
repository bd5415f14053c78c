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
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
    for (unsigned n = std::random_device()();; ++n) {
      root_ = fs::temp_directory_path() / ("tjoin-e2e-" + std::to_string(n));
      if (fs::create_directory(root_)) break;
    }
    fs::create_directory(work());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path work() const { return root_ / "work"; }

  // Runs tjoin with args in work(); umask -1 keeps the test's own. Standard
  // output is captured, or goes to stdoutTo when given ("" closes it).
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
  // the user uid, where one is given (root only).
  pid_t spawn(const std::vector<std::string>& args, int mask, const char* stdoutTo,
              const fs::path& out, const fs::path& err, uid_t uid = 0) {
    pid_t child = fork();
    if (child == 0) {
      if (mask >= 0) umask(static_cast<mode_t>(mask));
      int outFd = open(stdoutTo ? stdoutTo : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if ((outFd < 0 && !stdoutTo) || errFd < 0 || chdir(work().c_str()) != 0) _exit(127);
      if (uid != 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(127);
      dup2(outFd, 1);
      dup2(errFd, 2);
      if (stdoutTo && !*stdoutTo) close(1);
      if (addressSpace_ > 0) {
        struct rlimit limit = {addressSpace_, addressSpace_};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
      }
      if (fileSize_ > 0) {
        struct rlimit limit = {fileSize_, fileSize_}, noCore = {0, 0};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || setrlimit(RLIMIT_CORE, &noCore) != 0) {
          _exit(127);
        }
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
  rlim_t fileSize_ = 0;      // the largest file the runs may write, where not 0
  fs::path binary_;          // a copy of tjoin that runs instead, where not empty
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

TEST_F(EndToEnd, StandardOutputAsTheOutputKeepsItsOffset) {
  // The shell's redirection opens all.txt once; tjoin writes where the shell
  // stands in it and neither empties it nor replaces it.
  writeFile(work() / "in.txt", "join(A)\n\nA(x t)\n1\n");
  ASSERT_EQ(0, shell("{ echo head; \"$@\" in.txt /dev/stdout; echo tail; } >all.txt 2>&1"));
  EXPECT_EQ(
      "head\nEgy tabla van csak, eredmeny kiirasa!\njoin(A)\n\nA(x t)\n1\n\nresult(x "
      "t)\n1\n\ntail\n",
      readFile(work() / "all.txt"));
}

TEST_F(EndToEnd, WritableFileInAReadOnlyDirectoryIsWrittenInPlace) {
  // Root may write anywhere: the run is then made as the user nobody, from a
  // copy of tjoin in the test's directory, which nobody can reach where the
  // build tree lies in a private directory such as /root.
  const uid_t user = geteuid() == 0 ? 65534 : 0;
  if (user != 0) {
    binary_ = root_ / "tjoin";
    fs::copy_file(TJOIN_BINARY, binary_);
    fs::permissions(binary_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(root_, fs::perms::all);
    if (!reachableBy(user, binary_)) {
      GTEST_SKIP() << "the user " << user << " cannot reach " << binary_
                   << ": the temporary directory is private";
    }
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
}

TEST_F(EndToEnd, AnInterruptedRunLeavesTheOldFileOrTheWholeNewOne) {
  // About 6 MB of input used as its own output, 12 MB of output: long enough
  // to be stopped while the new file is written.
  std::string input = "join(A,B)\n\nA(k t, v t)\n";
  for (int r = 0; r < MaxRowsHere; ++r) {
    input += std::to_string(r) + "," + std::string(600, static_cast<char>('a' + r % 26)) + "\n";
  }
  input += "\nB(k t)\n";
  for (int r = 0; r < MaxRowsHere; ++r) input += std::to_string(r) + "\n";
  writeFile(work() / "io.txt", input);
  ASSERT_EQ(0, run({"io.txt", "new.txt"}).status);
  const std::string output = readFile(work() / "new.txt");
  fs::remove(work() / "new.txt");

  // Whatever the moment a signal comes, io.txt is whole, old or new, and a
  // run ended by SIGTERM leaves no new file behind. The moments tried: at
  // once, as soon as the new file is there, once it holds 1 MB; a run that
  // ends first is reaped and not signalled (its process id could be another
  // process's by then).
  const std::uintmax_t moments[] = {0, 1, 1 << 20};
  for (int signal : {SIGTERM, SIGKILL}) {
    for (std::uintmax_t moment : moments) {
      SCOPED_TRACE("signal " + std::to_string(signal) + ", moment " + std::to_string(moment));
      writeFile(work() / "io.txt", input);
      pid_t child = spawn({"io.txt", "io.txt"}, -1, nullptr, root_ / "stdout", root_ / "stderr");
      int status = 0;
      bool ended = false;
      // Written, whether to a new file or (were it emptied) to io.txt itself.
      while (moment > 0 && !(ended = waitpid(child, &status, WNOHANG) != 0)) {
        std::vector<std::string> names = newFilesIn(work());
        fs::path written = names.empty() ? work() / "io.txt" : work() / names[0];
        std::error_code gone;
        std::uintmax_t size = fs::file_size(written, gone);
        if (!gone && (names.empty() ? size != input.size() : size + 1 > moment)) break;
      }
      if (!ended) {
        kill(child, signal);
        waitpid(child, &status, 0);
      }
      std::string now = readFile(work() / "io.txt");
      EXPECT_TRUE(now == input || now == output) << "a torn file of " << now.size() << " bytes";
      std::vector<std::string> left = newFilesIn(work());
      if (outcomeOf(status) == 1000 + SIGTERM) {
        EXPECT_EQ(std::vector<std::string>{}, left);
      }
      for (const std::string& name : left) fs::remove(work() / name);
    }
  }

  // One run stopped mid-write at a known moment, however fast the machine: a
  // file-size limit of 1 MiB ends it by SIGXFSZ when its new file reaches
  // that size, as abruptly as SIGKILL.
  writeFile(work() / "io.txt", input);
  fileSize_ = 1 << 20;
  const int status = run({"io.txt", "io.txt"}).status;
  fileSize_ = 0;
  EXPECT_EQ(1000 + SIGXFSZ, status);
  EXPECT_EQ(input, readFile(work() / "io.txt"));
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
