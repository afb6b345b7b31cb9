#include "core/AgentClassification.h"

#include <gtest/gtest.h>

namespace {

TEST(AgentClassificationTest, BrowsersAndSystems) {
    struct Case {
        const char *agent, *browser, *os;
    };
    const Case cases[] = {
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", "MSIE 6.0", "Windows NT 5.1"},
        {"Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.4) Gecko/20030624 Netscape/7.1", "Netscape/7.1",
         "Windows NT 5.1"},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1) Opera 7.11 [en]", "Opera/7.11", "Windows NT 5.1"},
        {"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)", "Googlebot/2.1", "Unknown"},
        {"Mozilla/5.0 (compatible; GPTBot/1.0; +https://openai.com/gptbot)", "GPTBot/1.0", "Unknown"},
        {"Wget/1.8.2", "Wget/1.8.2", "Unknown"},
        {"curl/8.4.0 (x86_64-pc-linux-gnu)", "curl/8.4.0", "Unknown"},
        {"Mozilla/5.0", "Mozilla/5.0", "Unknown"},
        {"Mozilla/4.0 (compatible; X; Y)", "Unknown", "Unknown"},
        {"ab", "Unknown", "Unknown"},
    };
    for (const Case& c : cases) {
        const TAgentClass r = ClassifyAgent(c.agent);
        EXPECT_EQ(r.Browser, c.browser) << c.agent;
        EXPECT_EQ(r.OS, c.os) << c.agent;
    }
}

} // namespace
