// imsg_print: one catalogued message as one line on standard error, so that a
// log reader can tell each report apart whatever line breaks its format holds.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "ks.h"

namespace {

// The message with its line breaks turned into spaces and the trailing ones dropped.
std::string one_line(const char *format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size < 0) return {};
    std::string text(static_cast<size_t>(size) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(size));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char &c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

extern "C" int imsg_print(int kind, const imsg_table_t *table, int index, ...) {
    if (!table || index < 0 || index >= table->message_count) return -1;
    va_list args;
    va_start(args, index);
    std::string body = one_line(table->texts[index], args);
    va_end(args);
    char head[96];
    // The kind says where a message goes; every kind goes to standard error here.
    (void)kind;
    std::snprintf(head, sizeof head, "%s-%u: ", table->short_name,
                  static_cast<unsigned>(table->numbers[index]));
    std::string line = head + body + "\n";
    // One write, so that lines from several threads or processes never interleave.
    std::fflush(stderr);
    ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    return written < 0 ? -1 : static_cast<int>(written);
}
