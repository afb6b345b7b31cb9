// Counts heap allocations to prove that parsing and building entries allocates
// nothing per line once the buffers have grown.

#include "core/CParser.h"
#include "core/LogEntry.h"
#include "sources/CUtils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<long> gAllocations{0};
// Out of line so that the compiler does not pair free() with the new-expression.
[[gnu::noinline]] void Release(void* p) noexcept { std::free(p); }
} // namespace

// Every replaceable form, so that no allocation escapes the count and every pair matches.
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace {

TEST(LogEntryAllocationTest, SteadyStateParsingAllocatesNothing) {
    const std::vector<std::string> lines = {
        "10.0.0.1 - alice [10/Oct/2003:13:55:36 -0700] \"GET /a/b%20c/index.html?x=1&y=%41 HTTP/1.1\" 200 2326 "
        "\"https://www.example.com/search?q=log%20analyser\" \"Mozilla/5.0 (X11; Linux x86_64; rv:121.0) "
        "Gecko/20100101 "
        "Firefox/121.0\"",
        "192.168.200.17 - - [11/Oct/2003:01:02:03 +0000] \"POST http://host.example.com//api//v1/items HTTP/1.0\" 404 "
        "- "
        "\"-\" \"curl/8.4.0\"",
        "2001:db8::1 - - [12/Oct/2003:23:59:59 +0530] \"GET /IMAGES/Logo.PNG HTTP/2.0\" 304 0 \"HTTP://Ref.Example/\" "
        "\"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X)\"",
    };
    TCParser parser;
    parser.SetFormat("%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"");
    TLogEntry entry;
    const TLogEntryOptions options{false, 1, 0, 37904};
    auto runAll = [&] {
        for (const std::string& line : lines) {
            parser.SetLine(line);
            entry.AssignFrom(parser, options);
            ASSERT_TRUE(entry.Valid) << line;
        }
    };
    runAll(); // buffers grow to their working size
    runAll();
    const long before = gAllocations.load();
    ASSERT_GT(before, 0); // the counting allocator is in use
    for (int i = 0; i < 100; ++i)
        runAll();
    EXPECT_EQ(gAllocations.load() - before, 0);
}

} // namespace
