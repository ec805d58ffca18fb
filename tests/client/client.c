/* A product program in C, built against the installed headers and libraries. */
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <nt.h>
#define QUARN_POSIX_NAMES
#include <ntposix.h>

int main(int argc, char **argv) {
    char text[256], sid_text[64] = "";
    int c, saw_v = 0, entries = 0;
    PSID sid = NULL;
    DIR *dir;
    struct dirent *entry;
    struct nt_stat64 st;
    nt_init();
    while ((c = getopt(argc, argv, "v")) != -1)
        if (c == 'v') saw_v = 1;
    nt_get_error_string(2, NT_ERROR_KIND_WIN32, sizeof text, text);
    /* A parsed SID goes back through the library's own export. */
    if (nt_str_to_sid("S-1-5-32-544", &sid) == 0) nt_sid_to_str(sid, sid_text, sizeof sid_text);
    nt_free_sid(sid);
    printf("v=%d optind=%d errno(5)=%d text=%s sid=%s\n", saw_v, optind, nt_win32error2errno(5), text, sid_text);
    /* The plain directory names reach the library's streams. */
    dir = opendir(".");
    if (!dir) return 1;
    while ((entry = readdir(dir)) != NULL) entries += entry->d_namlen > 0;
    closedir(dir);
    printf("entries=%d\n", entries);
    return strlen(text) > 0 && saw_v && optind == 2 && strcmp(sid_text, "S-1-5-32-544") == 0 && entries >= 2 &&
                   unix_nt_stati64(".", &st) == 0
               ? 0
               : 1;
}
