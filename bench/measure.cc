// Runs one command and prints its wall time in microseconds and its peak
// resident memory in KB, taken from wait4(): "wall_us maxrss_kb status".
// The command's standard output goes to /dev/null.
//
//   tjoin_measure <command> [args...]

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: tjoin_measure <command> [args...]\n", stderr);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  auto wall = std::chrono::steady_clock::now() - start;
  long micros =
      static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(wall).count());
  std::printf("%ld %ld %d\n", micros, usage.ru_maxrss,
              WIFEXITED(status) ? WEXITSTATUS(status) : 128);
  return 0;
}
