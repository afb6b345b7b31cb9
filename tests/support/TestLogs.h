#pragma once
// Synthetic combined logs for report tests: a month of lines spread evenly over October 2003.

#include <cstdio>
#include <string>

// A combined log of October 2003 whose hosts and pages carry the tag.
inline std::string MakeCombinedLog(int lines, int tag = 0) {
    static const char* const agents[] = {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) Firefox/120.0",
                                         "Mozilla/5.0 (X11; Linux x86_64) Chrome/119.0 Safari/537.36", "curl/8.0"};
    std::string log;
    for (int i = 0; i < lines; ++i) {
        const int second = i * (27 * 86400 / lines);
        char line[512];
        std::snprintf(line, sizeof line,
                      "10.%d.%d.%d - - [%02d/Oct/2003:%02d:%02d:%02d +0000] \"GET /t%d/p%d.html HTTP/1.1\" %d %d "
                      "\"http://example.com/q%d\" \"%s\"\n",
                      tag, i % 97, i % 13, 1 + second / 86400, second / 3600 % 24, second / 60 % 60, second % 60, tag,
                      i % 311, i % 17 == 0 ? 404 : 200, 100 + i % 900, i % 23, agents[i % 3]);
        log += line;
    }
    return log;
}
