/* A product program in C, built against the installed headers and libraries. */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <nt.h>
#define QUARN_POSIX_NAMES
#include <ntposix.h>

int main(int argc, char **argv) {
    char text[256];
    int c, saw_v = 0;
    nt_init();
    while ((c = getopt(argc, argv, "v")) != -1)
        if (c == 'v') saw_v = 1;
    nt_get_error_string(2, NT_ERROR_KIND_WIN32, sizeof text, text);
    printf("v=%d optind=%d errno(5)=%d text=%s\n", saw_v, optind, nt_win32error2errno(5), text);
    return strlen(text) > 0 && saw_v && optind == 2 ? 0 : 1;
}
