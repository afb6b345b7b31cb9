#include "core/AgentClassification.h"

#include "core/AgentRules.h"
#include "sources/CUtils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <span>
#include <sstream>

namespace {

const std::string kDataFolder = QUORVEL_TEST_DATA_DIR "../../data/";

struct TAgentCase {
    const char *agent, *browser, *os;
};

void ExpectClasses(const TAgentRules& rules, std::span<const TAgentCase> cases) {
    for (const TAgentCase& c : cases) {
        const TAgentClass r = ClassifyAgent(c.agent, rules);
        EXPECT_EQ(r.Browser, c.browser) << c.agent;
        EXPECT_EQ(r.OS, c.os) << c.agent;
    }
}

TAgentRules ShippedRules() {
    TAgentRules rules;
    std::vector<std::string> problems;
    EXPECT_TRUE(rules.Load(kDataFolder + "static/agents.dta", &problems));
    EXPECT_TRUE(problems.empty()) << problems.front();
    return rules;
}

// Without rules an agent is read from its own product, comment and tail tokens.
TEST(AgentClassificationTest, WithoutRulesTheTokensNameTheAgent) {
    const TAgentCase cases[] = {
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
    ExpectClasses(TAgentRules(), cases);
    TAgentRules missing;
    EXPECT_FALSE(missing.Load(kDataFolder + "static/no-such-agents.dta"));
    ExpectClasses(missing, cases);
}

// Real agents, 2010 to today, with the names the shipped rules give them; a part no
// rule names falls back to the tokens.
TEST(AgentClassificationTest, ShippedRulesNameRealAgents) {
    const TAgentCase cases[] = {
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36",
         "Chrome 120", "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 "
         "Safari/537.36",
         "Chrome 124", "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/42.0.2311.135 "
         "Safari/537.36",
         "Chrome 42", "Windows 7"},
        {"Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/41.0.2272.118 Safari/537.36",
         "Chrome 41", "Windows 7"},
        {"Mozilla/5.0 (Windows NT 6.3; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/42.0.2311.90 Safari/537.36",
         "Chrome 42", "Windows 8.1"},
        {"Mozilla/5.0 (Windows NT 6.2; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/31.0.1650.63 Safari/537.36",
         "Chrome 31", "Windows 8"},
        {"Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/49.0.2623.112 Safari/537.36",
         "Chrome 49", "Windows XP"},
        {"Mozilla/5.0 (Windows NT 6.0) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/49.0.2623.112 Safari/537.36",
         "Chrome 49", "Windows Vista"},
        {"Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US) AppleWebKit/534.10 (KHTML, like Gecko) Chrome/8.0.552.224 "
         "Safari/534.10",
         "Chrome 8", "Windows 7"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36",
         "Chrome 120", "macOS"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_10_3) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/42.0.2311.135 "
         "Safari/537.36",
         "Chrome 42", "macOS"},
        {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
         "Chrome 120", "Linux"},
        {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Ubuntu Chromium/41.0.2272.76 "
         "Chrome/41.0.2272.76 Safari/537.36",
         "Chromium 41", "Linux"},
        {"Mozilla/5.0 (X11; CrOS x86_64 14541.0.0) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36",
         "Chrome 120", "ChromeOS"},
        {"Mozilla/5.0 (X11; CrOS armv7l 6946.86.0) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/42.0.2311.134 "
         "Safari/537.36",
         "Chrome 42", "ChromeOS"},
        {"Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Mobile "
         "Safari/537.36",
         "Chrome 120", "Android 10"},
        {"Mozilla/5.0 (Linux; Android 13; SM-S918B) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/116.0.0.0 Mobile "
         "Safari/537.36",
         "Chrome 116", "Android 13"},
        {"Mozilla/5.0 (Linux; Android 5.0.2; SM-G900F Build/LRX22G) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/42.0.2311.111 Mobile Safari/537.36",
         "Chrome 42", "Android 5"},
        {"Mozilla/5.0 (Linux; Android 4.4.2; Nexus 7 Build/KOT49H) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/41.0.2272.94 Safari/537.36",
         "Chrome 41", "Android 4"},
        {"Mozilla/5.0 (Linux; Android 14; Pixel 8 Pro) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/121.0.6167.101 "
         "Mobile Safari/537.36",
         "Chrome 121", "Android 14"},
        {"Mozilla/5.0 (Linux; Android 11; Pixel 5 Build/RQ3A.210805.001.A1; wv) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Version/4.0 Chrome/94.0.4606.85 Mobile Safari/537.36",
         "Chrome 94", "Android 11"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "CriOS/120.0.6099.119 Mobile/15E148 Safari/604.1",
         "Chrome 120", "iOS 17"},
        {"Mozilla/5.0 (iPad; CPU OS 16_6 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) CriOS/119.0.6045.169 "
         "Mobile/15E148 Safari/604.1",
         "Chrome 119", "iPadOS 16"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 8_3 like Mac OS X) AppleWebKit/600.1.4 (KHTML, like Gecko) "
         "CriOS/42.0.2311.47 Mobile/12F70 Safari/600.1.4",
         "Chrome 42", "iOS 8"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:121.0) Gecko/20100101 Firefox/121.0", "Firefox 121",
         "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:109.0) Gecko/20100101 Firefox/115.0", "Firefox 115",
         "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 6.1; WOW64; rv:37.0) Gecko/20100101 Firefox/37.0", "Firefox 37", "Windows 7"},
        {"Mozilla/5.0 (Windows NT 6.1; rv:27.0) Gecko/20100101 Firefox/27.0", "Firefox 27", "Windows 7"},
        {"Mozilla/5.0 (Windows NT 5.1; rv:31.0) Gecko/20100101 Firefox/31.0", "Firefox 31", "Windows XP"},
        {"Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.9.2.13) Gecko/20101203 Firefox/3.6.13", "Firefox 3",
         "Windows XP"},
        {"Mozilla/5.0 (Windows; U; Windows NT 6.1; de; rv:1.9.2.8) Gecko/20100722 Firefox/3.6.8", "Firefox 3",
         "Windows 7"},
        {"Mozilla/5.0 (Windows NT 6.1; WOW64; rv:4.0) Gecko/20100101 Firefox/4.0", "Firefox 4", "Windows 7"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10.15; rv:121.0) Gecko/20100101 Firefox/121.0", "Firefox 121",
         "macOS"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10.10; rv:37.0) Gecko/20100101 Firefox/37.0", "Firefox 37", "macOS"},
        {"Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0", "Firefox 121", "Linux"},
        {"Mozilla/5.0 (X11; Ubuntu; Linux x86_64; rv:37.0) Gecko/20100101 Firefox/37.0", "Firefox 37", "Linux"},
        {"Mozilla/5.0 (X11; Fedora; Linux x86_64; rv:109.0) Gecko/20100101 Firefox/119.0", "Firefox 119", "Linux"},
        {"Mozilla/5.0 (X11; FreeBSD amd64; rv:109.0) Gecko/20100101 Firefox/115.0", "Firefox 115", "FreeBSD"},
        {"Mozilla/5.0 (X11; OpenBSD amd64; rv:109.0) Gecko/20100101 Firefox/118.0", "Firefox 118", "OpenBSD"},
        {"Mozilla/5.0 (Android 14; Mobile; rv:121.0) Gecko/121.0 Firefox/121.0", "Firefox 121", "Android 14"},
        {"Mozilla/5.0 (Android 5.1.1; Mobile; rv:37.0) Gecko/37.0 Firefox/37.0", "Firefox 37", "Android 5"},
        {"Mozilla/5.0 (Mobile; rv:48.0; A405DL) Gecko/48.0 Firefox/48.0 KAIOS/2.5", "Firefox 48", "KaiOS"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) FxiOS/121.0 "
         "Mobile/15E148 Safari/605.1.15",
         "Firefox 121", "iOS 17"},
        {"Mozilla/5.0 (Windows NT 6.1; WOW64; rv:52.0) Gecko/20100101 Firefox/52.0 Waterfox/52.0", "Waterfox 52",
         "Windows 7"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:102.0) Gecko/20100101 Goanna/6.5 Firefox/102.0 PaleMoon/32.5.0",
         "Pale Moon 32", "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:109.0) Gecko/20100101 Firefox/115.0 SeaMonkey/2.53.18",
         "SeaMonkey 2", "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36 Edg/120.0.0.0",
         "Edge 120", "Windows 10/11"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/121.0.0.0 "
         "Safari/537.36 Edg/121.0.0.0",
         "Edge 121", "macOS"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/70.0.3538.102 "
         "Safari/537.36 Edge/18.17763",
         "Edge 18", "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 10.0) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/42.0.2311.135 Safari/537.36 "
         "Edge/12.10136",
         "Edge 12", "Windows 10/11"},
        {"Mozilla/5.0 (Linux; Android 10; HD1913) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.6099.144 Mobile "
         "Safari/537.36 EdgA/120.0.2210.126",
         "Edge 120", "Android 10"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 "
         "EdgiOS/120.2210.126 Mobile/15E148 Safari/605.1.15",
         "Edge 120", "iOS 17"},
        {"Mozilla/5.0 (Windows Phone 10.0; Android 6.0.1; Microsoft; Lumia 950) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/52.0.2743.116 Mobile Safari/537.36 Edge/15.15063",
         "Edge 15", "Windows Phone 10"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36 OPR/106.0.0.0",
         "Opera 106", "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/41.0.2272.118 "
         "Safari/537.36 OPR/28.0.1750.51",
         "Opera 28", "Windows 7"},
        {"Mozilla/5.0 (Linux; Android 10; VOG-L29) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/119.0.0.0 Mobile "
         "Safari/537.36 OPR/79.0.4195.76790",
         "Opera 79", "Android 10"},
        {"Opera/9.80 (Windows NT 6.1; WOW64) Presto/2.12.388 Version/12.17", "Opera 12", "Windows 7"},
        {"Opera/9.80 (Windows NT 6.0) Presto/2.12.388 Version/12.14", "Opera 12", "Windows Vista"},
        {"Opera/9.80 (X11; Linux x86_64; U; en) Presto/2.2.15 Version/10.10", "Opera 10", "Linux"},
        {"Opera/9.80 (Macintosh; Intel Mac OS X 10.6.8; U; en) Presto/2.9.168 Version/11.52", "Opera 11", "macOS"},
        {"Opera/9.64 (Windows NT 5.1; U; en) Presto/2.1.1", "Opera 9", "Windows XP"},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1) Opera 7.11 [en]", "Opera 7", "Windows XP"},
        {"Opera/9.80 (J2ME/MIDP; Opera Mini/9.80 (S60; SymbOS; Opera Mobi/23.348; U; en) Presto/2.5.25 Version/10.54",
         "Opera Mini 9", "Symbian"},
        {"Opera/9.80 (Android; Opera Mini/36.2.2254/119.132; U; id) Presto/2.12.423 Version/12.16", "Opera Mini 36",
         "Android"},
        {"Opera/9.80 (Android 2.3.3; Linux; Opera Mobi/ADR-1111101157; U; es-ES) Presto/2.9.201 Version/11.50",
         "Opera 11", "Android 2"},
        {"Mozilla/5.0 (Linux; Android 13; SAMSUNG SM-A536B) AppleWebKit/537.36 (KHTML, like Gecko) SamsungBrowser/23.0 "
         "Chrome/115.0.0.0 Mobile Safari/537.36",
         "Samsung Internet 23", "Android 13"},
        {"Mozilla/5.0 (Linux; Android 9; SAMSUNG SM-G960F Build/PPR1.180610.011) AppleWebKit/537.36 (KHTML, like "
         "Gecko) SamsungBrowser/9.4 Chrome/67.0.3396.87 Mobile Safari/537.36",
         "Samsung Internet 9", "Android 9"},
        {"Mozilla/5.0 (Linux; Android 5.0; SAMSUNG SM-N900 Build/LRX21V) AppleWebKit/537.36 (KHTML, like Gecko) "
         "SamsungBrowser/2.1 Chrome/34.0.1847.76 Mobile Safari/537.36",
         "Samsung Internet 2", "Android 5"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/118.0.0.0 "
         "YaBrowser/23.11.0.0 Safari/537.36",
         "Yandex Browser 23", "Windows 10/11"},
        {"Mozilla/5.0 (Linux; Android 12; M2101K6G) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/118.0.5993.118 "
         "YaBrowser/23.11.1.114.00 SA/3 Mobile Safari/537.36",
         "Yandex Browser 23", "Android 12"},
        {"Mozilla/5.0 (Linux; U; Android 10; en-US; RMX2030 Build/QKQ1.200209.002) AppleWebKit/537.36 (KHTML, like "
         "Gecko) Version/4.0 Chrome/78.0.3904.108 UCBrowser/13.4.0.1306 Mobile Safari/537.36",
         "UC Browser 13", "Android 10"},
        {"Mozilla/5.0 (Linux; U; Android 4.4.2; en-US; HM NOTE 1W Build/KOT49H) AppleWebKit/534.30 (KHTML, like Gecko) "
         "Version/4.0 UCBrowser/10.4.0.558 U3/0.8.0 Mobile Safari/534.30",
         "UC Browser 10", "Android 4"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/105.0.0.0 "
         "Safari/537.36 Vivaldi/5.5.2805.38",
         "Vivaldi 5", "Windows 10/11"},
        {"Mozilla/5.0 (Linux; Android 11; KFTRWI) AppleWebKit/537.36 (KHTML, like Gecko) Silk/120.4.1 like "
         "Chrome/120.0.6099.230 Safari/537.36",
         "Silk 120", "Android 11"},
        {"Mozilla/5.0 (Linux; U; Android 12; en-gb; 2201117TG Build/SKQ1.211006.001) AppleWebKit/537.36 (KHTML, like "
         "Gecko) Version/4.0 Chrome/100.0.4896.127 Mobile Safari/537.36 XiaoMi/MiuiBrowser/13.28.0-gn",
         "MIUI Browser 13", "Android 12"},
        {"Mozilla/5.0 (Linux; Android 10; ELS-NX9; HMSCore 6.12.0.302) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/114.0.5735.196 HuaweiBrowser/14.0.3.301 Mobile Safari/537.36",
         "Huawei Browser 14", "Android 10"},
        {"Mozilla/5.0 (Linux; U; Android 11; zh-cn; PEHM00 Build/RKQ1.201217.002) AppleWebKit/537.36 (KHTML, like "
         "Gecko) Version/4.0 Chrome/90.0.4430.210 MQQBrowser/13.8 Mobile Safari/537.36",
         "QQ Browser 13", "Android 11"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/118.0.0.0 "
         "Whale/3.23.214.17 Safari/537.36",
         "Whale 3", "Windows 10/11"},
        {"Mozilla/5.0 (Linux; Android 14) AppleWebKit/537.36 (KHTML, like Gecko) Version/4.0 Chrome/120.0.6099.193 "
         "Mobile DuckDuckGo/5 Safari/537.36",
         "DuckDuckGo 5", "Android 14"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Mobile/15E148 "
         "[FBAN/FBIOS;FBDV/iPhone14,5;FBMD/iPhone;FBSN/iOS;FBSV/17.1.2;FBSS/3;FBID/phone;FBLC/en_US;FBOP/5]",
         "Facebook app", "iOS 17"},
        {"Mozilla/5.0 (Linux; Android 13; SM-A525F Build/TP1A.220624.014; wv) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Version/4.0 Chrome/119.0.6045.163 Mobile Safari/537.36 [FB_IAB/FB4A;FBAV/444.0.0.33.118;]",
         "Facebook app", "Android 13"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 16_6 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Mobile/15E148 Instagram 309.0.0.40.113 (iPhone13,2; iOS 16_6; en_US; en; scale=3.00; 1170x2532; 537235012)",
         "Instagram app", "iOS 16"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 "
         "Safari/605.1.15",
         "Safari 17", "macOS"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14_6) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/14.1.2 "
         "Safari/605.1.15",
         "Safari 14", "macOS"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_10_3) AppleWebKit/600.5.17 (KHTML, like Gecko) Version/8.0.5 "
         "Safari/600.5.17",
         "Safari 8", "macOS"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_9_5) AppleWebKit/537.78.2 (KHTML, like Gecko) Version/7.0.6 "
         "Safari/537.78.2",
         "Safari 7", "macOS"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_9_2) AppleWebKit/537.74.9 (KHTML, like Gecko) Version/7.0.2 "
         "Safari/9537.53",
         "Safari 7", "macOS"},
        {"Mozilla/5.0 (Macintosh; U; Intel Mac OS X 10_6_8; en-us) AppleWebKit/533.21.1 (KHTML, like Gecko) "
         "Version/5.0.5 Safari/533.21.1",
         "Safari 5", "macOS"},
        {"Mozilla/5.0 (Macintosh; U; PPC Mac OS X; en) AppleWebKit/125.2 (KHTML, like Gecko) Safari/125.8", "Safari",
         "macOS"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Version/17.1.2 Mobile/15E148 Safari/604.1",
         "Safari 17", "iOS 17"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 16_6 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/16.6 "
         "Mobile/15E148 Safari/604.1",
         "Safari 16", "iOS 16"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 12_5_7 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Version/12.1.2 Mobile/15E148 Safari/604.1",
         "Safari 12", "iOS 12"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 8_3 like Mac OS X) AppleWebKit/600.1.4 (KHTML, like Gecko) Version/8.0 "
         "Mobile/12F70 Safari/600.1.4",
         "Safari 8", "iOS 8"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 7_1_2 like Mac OS X) AppleWebKit/537.51.2 (KHTML, like Gecko) Version/7.0 "
         "Mobile/11D257 Safari/9537.53",
         "Safari 7", "iOS 7"},
        {"Mozilla/5.0 (iPhone; U; CPU iPhone OS 4_3_3 like Mac OS X; en-us) AppleWebKit/533.17.9 (KHTML, like Gecko) "
         "Version/5.0.2 Mobile/8J2 Safari/6533.18.5",
         "Safari 5", "iOS 4"},
        {"Mozilla/5.0 (iPod touch; CPU iPhone OS 12_5_7 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Version/12.1.2 Mobile/15E148 Safari/604.1",
         "Safari 12", "iOS 12"},
        {"Mozilla/5.0 (iPod; U; CPU iPhone OS 4_3_5 like Mac OS X; en-us) AppleWebKit/533.17.9 (KHTML, like Gecko) "
         "Version/5.0.2 Mobile/8L1 Safari/6533.18.5",
         "Safari 5", "iOS 4"},
        {"Mozilla/5.0 (iPad; CPU OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 "
         "Mobile/15E148 Safari/604.1",
         "Safari 17", "iPadOS 17"},
        {"Mozilla/5.0 (iPad; CPU OS 12_5_7 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/12.1.2 "
         "Mobile/15E148 Safari/604.1",
         "Safari 12", "iPadOS 12"},
        {"Mozilla/5.0 (iPad; CPU OS 8_1_3 like Mac OS X) AppleWebKit/600.1.4 (KHTML, like Gecko) Version/8.0 "
         "Mobile/12B466 Safari/600.1.4",
         "Safari 8", "iPadOS 8"},
        {"Mozilla/5.0 (iPad; U; CPU OS 3_2 like Mac OS X; en-us) AppleWebKit/531.21.10 (KHTML, like Gecko) "
         "Version/4.0.4 Mobile/7B334b Safari/531.21.10",
         "Safari 4", "iPadOS 3"},
        {"Mozilla/5.0 (Linux; U; Android 4.0.3; en-us; GT-I9100 Build/IML74K) AppleWebKit/534.30 (KHTML, like Gecko) "
         "Version/4.0 Mobile Safari/534.30",
         "Android Browser", "Android 4"},
        {"Mozilla/5.0 (Linux; U; Android 2.3.6; en-us; Nexus S Build/GRK39F) AppleWebKit/533.1 (KHTML, like Gecko) "
         "Version/4.0 Mobile Safari/533.1",
         "Android Browser", "Android 2"},
        {"Mozilla/5.0 (Linux; U; Android 4.2.2; de-de; GT-P5210 Build/JDQ39) AppleWebKit/534.30 (KHTML, like Gecko) "
         "Version/4.0 Safari/534.30",
         "Android Browser", "Android 4"},
        {"Mozilla/5.0 (Windows NT 10.0; WOW64; Trident/7.0; rv:11.0) like Gecko", "Internet Explorer 11",
         "Windows 10/11"},
        {"Mozilla/5.0 (Windows NT 6.1; WOW64; Trident/7.0; rv:11.0) like Gecko", "Internet Explorer 11", "Windows 7"},
        {"Mozilla/5.0 (Windows NT 6.3; WOW64; Trident/7.0; Touch; rv:11.0) like Gecko", "Internet Explorer 11",
         "Windows 8.1"},
        {"Mozilla/5.0 (Windows NT 6.1; Trident/7.0; SLCC2; .NET CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; "
         "Media Center PC 6.0; .NET4.0C; .NET4.0E; rv:11.0) like Gecko",
         "Internet Explorer 11", "Windows 7"},
        {"Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; WOW64; Trident/6.0)", "Internet Explorer 10",
         "Windows 8"},
        {"Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; Trident/6.0)", "Internet Explorer 10", "Windows 7"},
        {"Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)", "Internet Explorer 9", "Windows 7"},
        {"Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.0; Trident/5.0)", "Internet Explorer 9", "Windows Vista"},
        {"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; WOW64; Trident/4.0; SLCC2; .NET CLR 2.0.50727)",
         "Internet Explorer 8", "Windows 7"},
        {"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0; .NET CLR 1.1.4322)", "Internet Explorer 8",
         "Windows XP"},
        {"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0; SLCC1; .NET CLR 2.0.50727)", "Internet Explorer 7",
         "Windows Vista"},
        {"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 1.1.4322)", "Internet Explorer 7", "Windows XP"},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)", "Internet Explorer 6", "Windows XP"},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Internet Explorer 6", "Windows 2000"},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2; .NET CLR 1.1.4322)", "Internet Explorer 6", "Windows XP"},
        {"Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90)", "Internet Explorer 5", "Windows ME"},
        {"Mozilla/4.0 (compatible; MSIE 5.01; Windows 98)", "Internet Explorer 5", "Windows 98"},
        {"Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)", "Internet Explorer 4", "Windows 95"},
        {"Mozilla/5.0 (compatible; MSIE 10.0; Windows Phone 8.0; Trident/6.0; IEMobile/10.0; ARM; Touch; NOKIA; Lumia "
         "920)",
         "IE Mobile 10", "Windows Phone 8"},
        {"Mozilla/5.0 (Mobile; Windows Phone 8.1; Android 4.0; ARM; Trident/7.0; Touch; rv:11.0; IEMobile/11.0; NOKIA; "
         "Lumia 635) like iPhone OS 7_0_3 Mac OS X AppleWebKit/537 (KHTML, like Gecko) Mobile Safari/537",
         "IE Mobile 11", "Windows Phone 8"},
        {"Mozilla/4.0 (compatible; MSIE 7.0; Windows Phone OS 7.0; Trident/3.1; IEMobile/7.0; LG; GW910)",
         "IE Mobile 7", "Windows Phone 7"},
        {"Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.4) Gecko/20030624 Netscape/7.1", "Netscape 7",
         "Windows XP"},
        {"Mozilla/5.0 (X11; Linux) KHTML/4.9.1 (like Gecko) Konqueror/4.9", "Konqueror 4", "Linux"},
        {"Lynx/2.8.9rel.1 libwww-FM/2.14 SSL-MM/1.4.1 OpenSSL/1.1.1d", "Lynx 2", "Unknown"},
        {"Mozilla/5.0 (BlackBerry; U; BlackBerry 9900; en) AppleWebKit/534.11+ (KHTML, like Gecko) Version/7.1.0.346 "
         "Mobile Safari/534.11+",
         "Safari 7", "BlackBerry"},
        {"Mozilla/5.0 (BB10; Touch) AppleWebKit/537.10+ (KHTML, like Gecko) Version/10.0.9.2372 Mobile Safari/537.10+",
         "Safari 10", "BlackBerry"},
        {"Mozilla/5.0 (SMART-TV; Linux; Tizen 6.0) AppleWebKit/537.36 (KHTML, like Gecko) 85.0.4183.93/6.0 TV "
         "Safari/537.36",
         "Safari", "Tizen"},
        {"Mozilla/5.0 (Web0S; Linux/SmartTV) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/79.0.3945.79 Safari/537.36 "
         "WebAppManager",
         "Chrome 79", "webOS"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; Xbox; Xbox One) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/70.0.3538.102 Safari/537.36 Edge/18.19041",
         "Edge 18", "Xbox"},
        {"Mozilla/5.0 (PlayStation; PlayStation 5/2.26) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/13.0 "
         "Safari/605.1.15",
         "Safari 13", "PlayStation"},
        {"Mozilla/5.0 (Nintendo Switch; WifiWebAuthApplet) AppleWebKit/606.4 (KHTML, like Gecko) NF/6.0.1.15.4 "
         "NintendoBrowser/5.1.0.20393",
         "Nintendo Browser 5", "Nintendo"},
        {"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)", "Googlebot", "Robot"},
        {"Googlebot/2.1 (+http://www.google.com/bot.html)", "Googlebot", "Robot"},
        {"Mozilla/5.0 (Linux; Android 6.0.1; Nexus 5X Build/MMB29P) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/120.0.6099.216 Mobile Safari/537.36 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
         "Googlebot Smartphone", "Robot"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 6_0 like Mac OS X) AppleWebKit/536.26 (KHTML, like Gecko) Version/6.0 "
         "Mobile/10A5376e Safari/8536.25 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
         "Googlebot Smartphone", "Robot"},
        {"Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; Googlebot/2.1; "
         "+http://www.google.com/bot.html) Chrome/120.0.6099.216 Safari/537.36",
         "Googlebot", "Robot"},
        {"Googlebot-Image/1.0", "Googlebot Image", "Robot"},
        {"AdsBot-Google (+http://www.google.com/adsbot.html)", "AdsBot-Google", "Robot"},
        {"Mediapartners-Google", "Mediapartners-Google", "Robot"},
        {"Mozilla/5.0 (compatible; Google-InspectionTool/1.0)", "Google-InspectionTool", "Robot"},
        {"FeedFetcher-Google; (+http://www.google.com/feedfetcher.html)", "Feedfetcher-Google", "Robot"},
        {"Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)", "bingbot", "Robot"},
        {"Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; bingbot/2.0; "
         "+http://www.bing.com/bingbot.htm) Chrome/116.0.1938.76 Safari/537.36",
         "bingbot", "Robot"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 7_0 like Mac OS X) AppleWebKit/537.51.1 (KHTML, like Gecko) Version/7.0 "
         "Mobile/11A465 Safari/9537.53 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
         "bingbot", "Robot"},
        {"msnbot/2.0b (+http://search.msn.com/msnbot.htm)", "msnbot", "Robot"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_5) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/13.1.1 "
         "Safari/605.1.15 (Applebot/0.1; +http://www.apple.com/go/applebot)",
         "Applebot", "Robot"},
        {"Mozilla/5.0 (compatible; YandexBot/3.0; +http://yandex.com/bots)", "YandexBot", "Robot"},
        {"Mozilla/5.0 (compatible; YandexImages/3.0; +http://yandex.com/bots)", "YandexImages", "Robot"},
        {"Mozilla/5.0 (compatible; Baiduspider/2.0; +http://www.baidu.com/search/spider.html)", "Baiduspider", "Robot"},
        {"DuckDuckBot/1.1; (+http://duckduckgo.com/duckduckbot.html)", "DuckDuckBot", "Robot"},
        {"Mozilla/5.0 (compatible; Yahoo! Slurp; http://help.yahoo.com/help/us/ysearch/slurp)", "Yahoo! Slurp",
         "Robot"},
        {"Mozilla/5.0 (compatible; SeznamBot/4.0; +https://o-seznam.cz/napoveda/vyhledavani/en/seznambot-crawler/)",
         "SeznamBot", "Robot"},
        {"Sogou web spider/4.0(+http://www.sogou.com/docs/help/webmasters.htm#07)", "Sogou spider", "Robot"},
        {"Mozilla/5.0 (Linux; Android 7.0;) AppleWebKit/537.36 (KHTML, like Gecko) Mobile Safari/537.36 (compatible; "
         "PetalBot;+https://webmaster.petalsearch.com/site/petalbot)",
         "PetalBot", "Robot"},
        {"Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)", "AhrefsBot", "Robot"},
        {"Mozilla/5.0 (compatible; SemrushBot/7~bl; +http://www.semrush.com/bot.html)", "SemrushBot", "Robot"},
        {"Mozilla/5.0 (compatible; MJ12bot/v1.4.8; http://mj12bot.com/)", "MJ12bot", "Robot"},
        {"Mozilla/5.0 (compatible; DotBot/1.2; +https://opensiteexplorer.org/dotbot; help@moz.com)", "DotBot", "Robot"},
        {"Mozilla/5.0 (compatible; BLEXBot/1.0; +http://webmeup-crawler.com/)", "BLEXBot", "Robot"},
        {"Mozilla/5.0 (compatible; DataForSeoBot/1.0; +https://dataforseo.com/dataforseo-bot)", "DataForSeoBot",
         "Robot"},
        {"Screaming Frog SEO Spider/19.4", "Screaming Frog SEO Spider", "Robot"},
        {"CCBot/2.0 (https://commoncrawl.org/faq/)", "CCBot", "Robot"},
        {"Mozilla/5.0 (Linux; Android 5.0) AppleWebKit/537.36 (KHTML, like Gecko) Mobile Safari/537.36 (compatible; "
         "Bytespider; spider-feedback@bytedance.com)",
         "Bytespider", "Robot"},
        {"Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; GPTBot/1.0; +https://openai.com/gptbot)",
         "GPTBot", "Robot"},
        {"Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; ClaudeBot/1.0; +claudebot@anthropic.com)",
         "ClaudeBot", "Robot"},
        {"Mozilla/5.0 (compatible; Amazonbot/0.1; +https://developer.amazon.com/support/amazonbot)", "Amazonbot",
         "Robot"},
        {"ia_archiver (+http://www.alexa.com/site/help/webmasters; crawler@alexa.com)", "ia_archiver", "Robot"},
        {"facebookexternalhit/1.1 (+http://www.facebook.com/externalhit_uatext.php)", "facebookexternalhit", "Robot"},
        {"Twitterbot/1.0", "Twitterbot", "Robot"},
        {"LinkedInBot/1.0 (compatible; Mozilla/5.0; Apache-HttpClient +http://www.linkedin.com)", "LinkedInBot",
         "Robot"},
        {"Slackbot-LinkExpanding 1.0 (+https://api.slack.com/robots)", "Slackbot", "Robot"},
        {"TelegramBot (like TwitterBot)", "TelegramBot", "Robot"},
        {"WhatsApp/2.23.20.0 A", "WhatsApp", "Robot"},
        {"Mozilla/5.0 (compatible; Discordbot/2.0; +https://discordapp.com)", "Discordbot", "Robot"},
        {"Mozilla/5.0 (compatible; UptimeRobot/2.0; http://www.uptimerobot.com/)", "UptimeRobot", "Robot"},
        {"Pingdom.com_bot_version_1.4_(http://www.pingdom.com/)", "Pingdom", "Robot"},
        {"Mozilla/5.0 (compatible; StatusCake)", "StatusCake", "Robot"},
        {"check_http/v2.3.3 (monitoring-plugins 2.3.3)", "check_http", "Robot"},
        {"Zabbix", "Zabbix", "Robot"},
        {"ELB-HealthChecker/2.0", "ELB-HealthChecker", "Robot"},
        {"kube-probe/1.27", "kube-probe", "Robot"},
        {"Mozilla/5.0 (Linux; Android 11; moto g power (2022)) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/119.0.0.0 "
         "Mobile Safari/537.36 Chrome-Lighthouse",
         "Lighthouse", "Robot"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "HeadlessChrome/120.0.6099.28 Safari/537.36",
         "HeadlessChrome", "Robot"},
        {"curl/8.4.0", "curl", "Robot"},
        {"curl/7.29.0", "curl", "Robot"},
        {"Wget/1.21.2", "Wget", "Robot"},
        {"Wget/1.12 (linux-gnu)", "Wget", "Robot"},
        {"python-requests/2.31.0", "python-requests", "Robot"},
        {"Python-urllib/3.11", "python-urllib", "Robot"},
        {"Go-http-client/1.1", "Go-http-client", "Robot"},
        {"Go-http-client/2.0", "Go-http-client", "Robot"},
        {"Java/1.8.0_151", "Java", "Robot"},
        {"Apache-HttpClient/4.5.13 (Java/11.0.16)", "Apache-HttpClient", "Robot"},
        {"okhttp/4.9.2", "okhttp", "Robot"},
        {"libwww-perl/6.72", "libwww-perl", "Robot"},
        {"Scrapy/2.11.0 (+https://scrapy.org)", "Scrapy", "Robot"},
        {"axios/1.6.2", "axios", "Robot"},
        {"PostmanRuntime/7.36.0", "PostmanRuntime", "Robot"},
        {"Mozilla/5.0 zgrab/0.x", "zgrab", "Robot"},
        {"Mozilla/5.0 (compatible; Nmap Scripting Engine; https://nmap.org/book/nse.html)", "Nmap", "Robot"},
        {"Mozilla/5.0 (compatible; CensysInspect/1.1; +https://about.censys.io/)", "CensysInspect", "Robot"},
        {"Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US) AppleWebKit/525.13 (KHTML, like Gecko) Version/3.1 "
         "Safari/525.13",
         "Safari 3", "Windows XP"},
        {"Mozilla/5.0 (X11; U; Linux i686; en-US; rv:1.9.0.10) Gecko/2009042316 Firefox/3.0.10", "Firefox 3", "Linux"},
        {"Mozilla/5.0 (compatible; Konqueror/3.5; Linux) KHTML/3.5.10 (like Gecko)", "Konqueror 3", "Linux"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36 GLS/100.10.9939.100",
         "Chrome 120", "Windows 10/11"},
        {"Dalvik/2.1.0 (Linux; U; Android 11; SM-A107F Build/RP1A.200720.012)", "Dalvik/2.1.0", "Android 11"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) SomeNewBrowser",
         "SomeNewBrowser", "Windows 10/11"},
        {"MyCustomAgent", "MyCustomAgent", "Unknown"},
        {"Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64)+AppleWebKit/537.36+(KHTML,+like+Gecko)+Chrome/130.0.0.0+Safari/"
         "537.36",
         "Chrome 130", "Windows 10/11"},
        {"Mozilla/5.0+(compatible;+MSIE+9.0;+Windows+NT+6.1;+Trident/5.0)", "Internet Explorer 9", "Windows 7"},
    };
    ExpectClasses(ShippedRules(), cases);
}

TEST(AgentClassificationTest, ShippedRulesParseWithNoBadLine) {
    const TAgentRules rules = ShippedRules();
    EXPECT_GT(rules.All().size(), 150u);
}

// The crawlers group picks robots by browser name: it must know every robot the rules name.
TEST(AgentClassificationTest, EveryRobotIsInTheCrawlersGroup) {
    std::ifstream in(kDataFolder + "groups/crawlers.xml");
    std::stringstream xml;
    xml << in.rdbuf();
    const std::string text = xml.str();
    const size_t open = text.find("<members>"), close = text.find("</members>");
    ASSERT_NE(close, std::string::npos);
    const std::string_view members = std::string_view(text).substr(open + 9, close - open - 9);
    const TAgentRules rules = ShippedRules();
    for (const TAgentRule& rule : rules.All()) {
        if (rule.Kind != TAgentRuleKind::Robot) continue;
        bool matched = false;
        for (size_t start = 0, end; !matched && (end = members.find(';', start)) != std::string_view::npos;
             start = end + 1)
            matched = MatchesMask(rule.NameHead, members.substr(start, end - start));
        EXPECT_TRUE(matched) << rule.NameHead;
    }
}

TEST(AgentClassificationTest, BadRuleLinesAreSkippedWithTheirLineNumber) {
    TAgentRules rules;
    std::vector<std::string> problems;
    rules.Parse("# comment\n"
                "\n"
                "browser | Foo %v | foo/ | foo/\n"
                "gadget | X | x\n"
                "browser | Bar %v | bar/\n"
                "browser | Baz | baz/ | baz/\n"
                "os | | linux\n"
                "os | Linux | !gnu\n"
                "robot | Bot\n",
                &problems);
    ASSERT_EQ(rules.All().size(), 1u);
    const std::vector<std::string> expected = {
        "line 4: kind must be robot, browser or os",
        "line 5: a name with %v needs a version field, and a version field needs %v in the name",
        "line 6: a name with %v needs a version field, and a version field needs %v in the name",
        "line 7: empty name",
        "line 8: no text to match",
        "line 9: expected 3 or 4 fields separated by '|'"};
    EXPECT_EQ(problems, expected);
    EXPECT_EQ(ClassifyAgent("x foo/3.2 y", rules).Browser, "Foo 3");
    EXPECT_EQ(ClassifyAgent("x foo/ y", rules).Browser, "Foo");
}

} // namespace
