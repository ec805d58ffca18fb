/* A product program in C, built against the installed headers and libraries. */
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <nt.h>
#define QUARN_POSIX_NAMES
#include <ntposix.h>

int main(int argc, char **argv) {
    char text[256];
    int c, saw_v = 0, entries = 0;
    DIR *dir;
    struct dirent *entry;
    struct nt_stat64 st;
    nt_init();
    while ((c = getopt(argc, argv, "v")) != -1)
        if (c == 'v') saw_v = 1;
    nt_get_error_string(2, NT_ERROR_KIND_WIN32, sizeof text, text);
    printf("v=%d optind=%d errno(5)=%d text=%s\n", saw_v, optind, nt_win32error2errno(5), text);
    /* The plain directory names reach the library's streams. */
    dir = opendir(".");
    if (!dir) return 1;
    while ((entry = readdir(dir)) != NULL) entries += entry->d_namlen > 0;
    closedir(dir);
    printf("entries=%d\n", entries);
    return strlen(text) > 0 && saw_v && optind == 2 && entries >= 2 && unix_nt_stati64(".", &st) == 0 ? 0 : 1;
}
