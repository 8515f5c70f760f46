// peak_memory <file> <command> [arguments...]: runs the command, writes the
// largest resident set it reached (KB) to <file>, exits with its status. A
// child's peak starts at its parent's size, so a large test process can't
// measure it directly.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 125;
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return 125;
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) return 125;
  std::fprintf(out, "%ld\n", usage.ru_maxrss);
  std::fclose(out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
