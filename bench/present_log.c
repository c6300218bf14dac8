/* Preloaded into the real program by scripts/measure-refresh: writes the time of every
 * present to the file MORVALA_PRESENT_LOG names, so refreshes can be counted from outside. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct SDL_Window SDL_Window;

int SDL_UpdateWindowSurface(SDL_Window* window) {
    static int (*present)(SDL_Window*);
    static FILE* log;
    if (present == NULL) {
        present = (int (*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
        const char* path = getenv("MORVALA_PRESENT_LOG");
        log = path != NULL ? fopen(path, "w") : NULL;
    }
    if (log != NULL) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        fprintf(log, "%lld.%09ld\n", (long long)now.tv_sec, now.tv_nsec);
        fflush(log);
    }
    return present(window);
}
