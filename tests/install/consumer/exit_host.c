/* A host that uses the library while its process exits: from an exit handler registered before
 * its first call, and from threads still at work when main returns. Each of twenty rounds runs in
 * a child process, which must end with status 0 (a crash ends it with a signal). */
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host_calls.h"

static atomic_int rounds_done;

static void at_exit_work(void) {
  if (host_round_trip() != 0) _exit(3);
}

static void *keep_working(void *unused) {
  (void)unused;
  for (;;) {
    if (host_round_trip() != 0) _exit(4);
    atomic_fetch_add(&rounds_done, 1);
  }
  return NULL;
}

static int child(void) {
  if (atexit(at_exit_work) != 0) return 5;
  pthread_t threads[2];
  for (int i = 0; i < 2; ++i)
    if (pthread_create(&threads[i], NULL, keep_working, NULL) != 0) return 6;
  while (atomic_load(&rounds_done) < 4) usleep(100);
  return 0; /* exit() runs the handler while both threads are still working */
}

int main(void) {
  for (int round = 0; round < 20; ++round) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) return child();
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return 2;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      if (WIFSIGNALED(status))
        fprintf(stderr, "round %d: the process died of signal %d at exit\n", round, WTERMSIG(status));
      else
        fprintf(stderr, "round %d: the process exited with %d\n", round, WEXITSTATUS(status));
      return 1;
    }
  }
  printf("20 exits with the library at work: ok\n");
  return 0;
}
