#!/usr/bin/env python3
"""Writes a realistic combined access log of a small shop-and-blog site, to check the analysis
against traffic it was not tuned to: browsers, phones and robots in a modern mix, visits of
several pages with their assets, search and social referrers, and real servers' line order.

Each line carries its request's start time but is written when the request ends (start plus a
duration, mostly under a second, minutes for large downloads), and two load-balanced servers
ship their lines in batches to one file, so lines are locally out of time order. A handful of
malformed lines is mixed in. Standard library only; the same arguments give the same file.

    python3 tools/make_realistic_log.py --lines 10000 --seed 1 --out access.log
"""

import argparse
import math
import random
import sys
from datetime import datetime, timedelta, timezone

SITE = "https://www.tarnwood-outdoor.test"
START = datetime(2026, 11, 2, 0, 0, 0, tzinfo=timezone.utc)
LOCAL_OFFSET = timedelta(hours=1)  # the servers log in local time, +0100
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]

PAGES = ["/", "/products/", "/products/tents/", "/products/tents/ridge-2.html", "/products/tents/dome-4.html",
         "/products/stoves/", "/products/stoves/alpine-burner.html", "/products/rucksacks/",
         "/products/rucksacks/trail-35.html", "/products/rucksacks/summit-55.html", "/blog/",
         "/blog/2026/11/first-snow-on-the-ridge.html", "/blog/2026/10/packing-for-three-days.html",
         "/blog/2026/09/stove-maintenance.html", "/about.html", "/contact.php", "/search.php?q=tent",
         "/search.php?q=stove+gas", "/shop/cart.php", "/shop/checkout.php", "/faq.html", "/shipping.html"]
LANDING = PAGES[:14]
CSS = ["/assets/css/site.min.css?v=3.4.1", "/assets/css/fonts.css"]
JS = ["/assets/js/app.min.js?v=3.4.1", "/assets/js/vendor.min.js", "/assets/js/consent.js"]
IMAGES = ["/images/logo.svg", "/images/hero-winter.jpg", "/images/products/ridge-2.webp",
          "/images/products/dome-4.webp", "/images/products/burner.webp", "/images/products/trail-35.png",
          "/images/blog/snow-ridge.jpg", "/images/icons/cart.png", "/images/icons/search.png"]
DOWNLOADS = [("/downloads/catalogue-winter-2026.pdf", 8_400_000), ("/downloads/tent-manual-ridge-2.pdf", 2_100_000),
             ("/media/video/pitching-the-dome-4.mp4", 96_000_000), ("/downloads/size-chart.pdf", 310_000)]
PROBES = ["/wp-login.php", "/xmlrpc.php", "/.env", "/wp-admin/setup-config.php", "/.git/config",
          "/phpmyadmin/index.php", "/admin/config.php", "/vendor/phpunit/phpunit/src/Util/PHP/eval-stdin.php",
          "/cgi-bin/luci", "/actuator/health", "/server-status", "/backup.zip"]

# Human user agents with their share of visitors (a European site, late 2026).
HUMAN_AGENTS = [
    (30.0, "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/{chrome}.0.0.0 Safari/537.36"),
    (17.0, "Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/{chrome}.0.0.0 Mobile Safari/537.36"),
    (14.0, "Mozilla/5.0 (iPhone; CPU iPhone OS {ios}_{iosminor} like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/{ios}.{iosminor} Mobile/15E148 Safari/604.1"),
    (5.0, "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/{ios}.{iosminor} Safari/605.1.15"),
    (5.0, "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/{chrome}.0.0.0 Safari/537.36"),
    (8.0, "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/{chrome}.0.0.0 Safari/537.36 Edg/{chrome}.0.0.0"),
    (4.0, "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:{firefox}.0) Gecko/20100101 Firefox/{firefox}.0"),
    (1.0, "Mozilla/5.0 (X11; Linux x86_64; rv:{firefox}.0) Gecko/20100101 Firefox/{firefox}.0"),
    (1.0, "Mozilla/5.0 (Macintosh; Intel Mac OS X 10.15; rv:{firefox}.0) Gecko/20100101 Firefox/{firefox}.0"),
    (3.0, "Mozilla/5.0 (Linux; Android 15; SAMSUNG SM-S931B) AppleWebKit/537.36 (KHTML, like Gecko) SamsungBrowser/{samsung}.0 Chrome/{chromeold}.0.0.0 Mobile Safari/537.36"),
    (2.0, "Mozilla/5.0 (iPhone; CPU iPhone OS {ios}_{iosminor} like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) CriOS/{chrome}.0.7204.119 Mobile/15E148 Safari/604.1"),
    (1.5, "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/{chromeold}.0.0.0 Safari/537.36 OPR/{opera}.0.0.0"),
    (1.5, "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/{chrome}.0.0.0 Safari/537.36"),
    (0.5, "Mozilla/5.0 (X11; CrOS x86_64 14541.0.0) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/{chrome}.0.0.0 Safari/537.36"),
    (2.0, "Mozilla/5.0 (iPad; CPU OS {ios}_{iosminor} like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/{ios}.{iosminor} Mobile/15E148 Safari/604.1"),
    (1.0, "Mozilla/5.0 (iPhone; CPU iPhone OS {ios}_{iosminor} like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Mobile/22G86 [FBAN/FBIOS;FBAV/498.0.0.41.105;FBBV/712345678;FBDV/iPhone15,2;FBMD/iPhone;FBSN/iOS;FBSV/{ios}.{iosminor};FBSS/3;FBID/phone;FBLC/de_DE;FBOP/5]"),
    (0.5, "Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/109.0.0.0 Safari/537.36"),
]

GOOGLEBOT = "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; Googlebot/2.1; +http://www.google.com/bot.html) Chrome/{chromebot} Safari/537.36"
GOOGLEBOT_PHONE = ("Mozilla/5.0 (Linux; Android 6.0.1; Nexus 5X Build/MMB29P) AppleWebKit/537.36 (KHTML, like Gecko) "
                   "Chrome/{chromebot} Mobile Safari/537.36 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)")
# Robots: (share of crawl bursts, agent, address prefixes, hits per burst, mean pause in seconds, fetches assets)
ROBOTS = [
    (20, GOOGLEBOT_PHONE, ["66.249.66.", "66.249.68.", "66.249.79."], (3, 40), 45, False),
    (8, GOOGLEBOT, ["66.249.66.", "66.249.72."], (2, 20), 60, False),
    (10, "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm) Chrome/116.0.1938.76 Safari/537.36",
     ["40.77.167.", "157.55.39.", "207.46.13."], (2, 25), 50, False),
    (4, "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_5) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/13.1.1 Safari/605.1.15 (Applebot/0.1; +http://www.apple.com/go/applebot)",
     ["17.241.219.", "17.22.237."], (1, 10), 90, False),
    (4, "Mozilla/5.0 (compatible; YandexBot/3.0; +http://yandex.com/bots)", ["5.255.231.", "213.180.203."], (1, 15), 40, False),
    (8, "Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)", ["54.36.148.", "51.222.253."], (5, 60), 8, False),
    (6, "Mozilla/5.0 (compatible; SemrushBot/7~bl; +http://www.semrush.com/bot.html)", ["85.208.96.", "185.191.171."], (5, 50), 10, False),
    (2, "facebookexternalhit/1.1 (+http://www.facebook.com/externalhit_uatext.php)", ["69.171.249.", "173.252.83."], (1, 3), 2, True),
    (3, "curl/8.5.0", ["203.0.113.", "198.51.100."], (1, 4), 5, False),
    (4, "python-requests/2.32.3", ["45.148.10.", "194.26.29.", "2a01:4f8:c17:"], (8, 40), 1, False),
]
MONITORS = [  # (agent, addresses, interval in seconds, path, method)
    ("Mozilla/5.0+(compatible; UptimeRobot/2.0; http://www.uptimerobot.com/)",
     ["69.162.124.226", "63.143.42.244", "216.245.221.83"], 300, "/", "HEAD"),
    ("Pingdom.com_bot_version_1.4_(http://www.pingdom.com/)", ["5.172.196.188", "185.180.12.65"], 600, "/health.php", "GET"),
]

GOOGLE_HOSTS = ["https://www.google.com/"] * 5 + ["https://www.google.de/"] * 4 + [
    "https://www.google.co.uk/", "https://www.google.fr/", "https://www.google.nl/", "https://www.google.at/",
    "https://www.google.ch/", "https://www.google.it/", "https://www.google.es/", "https://www.google.com.au/"]
BING_PHRASES = ["ultralight+tent", "alpine+burner+review", "trail+35+rucksack", "winter+camping+checklist", "dome+4+tent"]
SOCIAL = ["https://t.co/Xq7pLm2kZa", "https://www.facebook.com/", "https://l.facebook.com/", "https://m.facebook.com/",
          "https://www.reddit.com/r/Ultralight/comments/1g5x2kq/winter_stove_advice/", "https://www.instagram.com/",
          "https://www.linkedin.com/", "https://www.youtube.com/", "https://out.reddit.com/"]
OTHER_SITES = ["https://forum.bergsteigen.example/thread/88123", "https://outdoor-blog.example/best-tents-2026/",
               "https://news.ycombinator.com/", "https://chatgpt.com/", "https://www.ecosia.org/", "https://search.brave.com/"]


class Request:
    __slots__ = ("start", "end", "host", "method", "path", "status", "size", "referrer", "agent", "protocol", "server")

    def __init__(self, start, duration, host, method, path, status, size, referrer, agent, protocol, server):
        self.start, self.end = start, start + duration
        self.host, self.method, self.path, self.status, self.size = host, method, path, status, size
        self.referrer, self.agent, self.protocol, self.server = referrer, agent, protocol, server


class Generator:
    def __init__(self, rng, spanSeconds, servers):
        self.rng, self.span, self.servers = rng, spanSeconds, servers
        self.requests = []
        self.sessions = 0
        self.usedHosts = set()

    # ---- helpers ----
    def Server(self):
        return self.rng.randrange(self.servers)

    def DiurnalTime(self):
        """A start time in the span, weighted towards the European day and evening."""
        while True:
            t = self.rng.uniform(0, self.span)
            hour = (t / 3600 + 1) % 24
            weight = 0.25 + 0.75 * math.exp(-((hour - 14.5) / 5.0) ** 2)
            if self.rng.random() < weight:
                return t

    def NewHost(self):
        rng = self.rng
        while True:
            if rng.random() < 0.16:
                host = "2a02:%x:%x:%x::%x" % (rng.randrange(0x100, 0xfff), rng.randrange(0x1000, 0xffff),
                                              rng.randrange(0x1000, 0xffff), rng.randrange(1, 0xffff))
            else:
                first = rng.choice([31, 37, 46, 62, 77, 78, 79, 80, 81, 82, 84, 85, 87, 88, 89, 91, 92, 93, 94, 95,
                                    109, 141, 176, 178, 185, 188, 193, 212, 213, 217])
                host = "%d.%d.%d.%d" % (first, rng.randrange(256), rng.randrange(256), rng.randrange(1, 255))
            if host not in self.usedHosts:
                self.usedHosts.add(host)
                return host

    def HumanAgent(self):
        rng = self.rng
        total = sum(w for w, _ in HUMAN_AGENTS)
        pick = rng.uniform(0, total)
        for weight, template in HUMAN_AGENTS:
            pick -= weight
            if pick <= 0:
                break
        chrome = rng.choice([140, 141, 142, 142, 143, 143, 143])
        return template.format(chrome=chrome, chromeold=chrome - rng.choice([2, 3, 5]), firefox=rng.choice([144, 145, 145]),
                               ios=rng.choice([18, 26, 26]), iosminor=rng.choice([0, 1, 6]),
                               samsung=rng.choice([28, 29]), opera=rng.choice([123, 124]))

    def Add(self, start, duration, host, method, path, status, size, referrer, agent, protocol):
        if 0 <= start < self.span:
            self.requests.append(Request(start, duration, host, method, path, status, size, referrer, agent, protocol,
                                         self.Server()))

    def SmallDuration(self, mean):
        return min(self.rng.expovariate(1.0 / mean), 8.0)

    def ThinkTime(self):
        """Seconds between two pages: mostly under a minute, a few long reads, rarely a real break."""
        rng = self.rng
        roll = rng.random()
        if roll < 0.02:
            return rng.uniform(25 * 60, 70 * 60)  # coffee break: a new visit
        if roll < 0.04:
            return rng.uniform(15 * 60, 24 * 60)  # long read around the visit timeout
        return min(rng.lognormvariate(math.log(35), 1.0), 14 * 60)

    def FirstReferrer(self):
        rng = self.rng
        roll = rng.random()
        if roll < 0.30:
            return "-"
        if roll < 0.68:
            return rng.choice(GOOGLE_HOSTS)
        if roll < 0.72:
            return "https://www.bing.com/search?q=%s&form=QBLH" % rng.choice(BING_PHRASES)
        if roll < 0.75:
            return "https://duckduckgo.com/"
        if roll < 0.76:
            return "android-app://com.google.android.googlequicksearchbox/"
        if roll < 0.88:
            return rng.choice(SOCIAL)
        return rng.choice(OTHER_SITES)

    # ---- sessions ----
    def HumanVisit(self, t, host, agent, cached):
        rng = self.rng
        self.sessions += 1
        protocol = "HTTP/2.0" if rng.random() < 0.7 else "HTTP/1.1"
        pages = 1 if rng.random() < 0.45 else 1 + min(int(rng.expovariate(1 / 3.0)), 14)  # many bounce
        referrer = self.FirstReferrer()
        page = rng.choice(LANDING)
        firstPage = True
        for n in range(pages):
            if n > 0:
                t += self.ThinkTime()
                referrer = SITE + page
                page = rng.choice(PAGES)
            if rng.random() < 0.015:  # a dead link
                self.Add(t, self.SmallDuration(0.05), host, "GET", "/products/tents/old-ridge-1.html", 404, 4120,
                         referrer, agent, protocol)
                continue
            if page == "/blog" or (page == "/blog/" and rng.random() < 0.05):
                self.Add(t, 0.01, host, "GET", "/blog", 301, 0, referrer, agent, protocol)
                t += 0.1
                page = "/blog/"
            duration = self.SmallDuration(0.18)
            self.Add(t, duration, host, "GET", page, 200, rng.randrange(9000, 48000), referrer, agent, protocol)
            assetStart = t + duration + rng.uniform(0.02, 0.3)
            assets = CSS + JS[:2] + rng.sample(IMAGES, rng.randrange(1, 5))
            if firstPage:
                assets.append("/favicon.ico")
                if rng.random() < 0.3:
                    assets.append("/apple-touch-icon.png")
            for asset in assets:
                if cached or (not firstPage and rng.random() < 0.85):
                    if rng.random() < 0.88:
                        continue  # fresh in the browser cache: no request at all
                    status, size = 304, "-"
                elif asset == "/apple-touch-icon.png":
                    status, size = 404, 4120
                else:
                    status, size = 200, rng.randrange(800, 180000)
                self.Add(assetStart + rng.uniform(0, 0.4), self.SmallDuration(0.06), host, "GET", asset, status, size,
                         SITE + page, agent, protocol)
            if page.startswith("/products/") and rng.random() < 0.06:
                self.Download(t + duration + rng.uniform(2, 40), host, agent, SITE + page, protocol)
            if page == "/shop/cart.php" and rng.random() < 0.5:
                self.Add(t + rng.uniform(5, 60), self.SmallDuration(0.3), host, "POST", "/shop/cart.php", 302, 0,
                         SITE + page, agent, protocol)
            firstPage = False
        return t

    def Download(self, t, host, agent, referrer, protocol):
        rng = self.rng
        path, size = rng.choice(DOWNLOADS)
        speed = rng.choice([2e5, 5e5, 1e6, 3e6, 1e7])  # bytes per second
        if path.endswith(".mp4"):
            # a video player fetches ranges: several 206 partial lines, the first one long
            offset = 0
            while offset < size and rng.random() < 0.85:
                chunk = min(size - offset, rng.randrange(2_000_000, 30_000_000))
                self.Add(t, chunk / speed, host, "GET", path, 206, chunk, referrer, agent, protocol)
                t += chunk / speed + rng.uniform(0.5, 20)
                offset += chunk
        elif rng.random() < 0.2:
            # interrupted, then resumed with a range request
            first = rng.randrange(size // 10, size // 2)
            self.Add(t, first / speed, host, "GET", path, 200, first, referrer, agent, protocol)
            t += first / speed + rng.uniform(3, 60)
            self.Add(t, (size - first) / speed, host, "GET", path, 206, size - first, referrer, agent, protocol)
        else:
            self.Add(t, size / speed, host, "GET", path, 200, size, referrer, agent, protocol)

    def DirectDownloadVisit(self):
        """A visitor landing straight on a large file from a search result or link."""
        host, agent = self.NewHost(), self.HumanAgent()
        self.sessions += 1
        self.Download(self.DiurnalTime(), host, agent, self.FirstReferrer(), "HTTP/2.0")

    def Visitor(self):
        host, agent = self.NewHost(), self.HumanAgent()
        t = self.DiurnalTime()
        end = self.HumanVisit(t, host, agent, cached=False)
        while self.rng.random() < 0.22:  # returns after some hours, assets mostly cached
            t = end + self.rng.uniform(1.5 * 3600, 9 * 3600)
            if t >= self.span:
                break
            end = self.HumanVisit(t, host, agent, cached=True)

    def RobotBurst(self):
        rng = self.rng
        total = sum(r[0] for r in ROBOTS)
        pick = rng.uniform(0, total)
        for robot in ROBOTS:
            pick -= robot[0]
            if pick <= 0:
                break
        _, template, prefixes, hits, pause, assets = robot
        agent = template.format(chromebot=rng.choice(["142.0.7444.59", "142.0.7444.162", "143.0.7499.40"]))
        prefix = rng.choice(prefixes)
        host = prefix + ("%x" % rng.randrange(1, 0xfff) if prefix.endswith(":") else "%d" % rng.randrange(1, 255))
        self.sessions += 1
        t = rng.uniform(0, self.span)
        isScanner = agent.startswith("python-requests")
        for n in range(rng.randint(*hits)):
            if isScanner:
                path, status, size = rng.choice(PROBES), 404, 4120
            elif n == 0 and rng.random() < 0.3:
                path, status, size = "/robots.txt", 200, 412
            elif rng.random() < 0.05:
                path, status, size = "/sitemap.xml", 200, 18200
            elif rng.random() < 0.03:
                path, status, size = "/products/tents/old-ridge-1.html", 404, 4120
            elif rng.random() < 0.2:
                path, status, size = rng.choice(IMAGES), 200, rng.randrange(5000, 180000)
            else:
                path, status, size = rng.choice(PAGES), rng.choice([200] * 9 + [304]), rng.randrange(9000, 48000)
                if status == 304:
                    size = "-"
            self.Add(t, self.SmallDuration(0.15), host, "GET", path, status, size, "-", agent, "HTTP/1.1")
            if assets and status == 200:
                self.Add(t + 0.4, self.SmallDuration(0.05), host, "GET", rng.choice(IMAGES), 200, 60000, "-", agent,
                         "HTTP/1.1")
            t += rng.expovariate(1.0 / pause) if not isScanner else rng.uniform(0.1, 2)

    def Monitors(self):
        for agent, hosts, interval, path, method in MONITORS:
            t = self.rng.uniform(0, interval)
            while t < self.span:
                self.Add(t, self.SmallDuration(0.04), self.rng.choice(hosts), method, path, 200,
                         0 if method == "HEAD" else 2, "-", agent, "HTTP/1.1")
                t += interval + self.rng.uniform(-3, 3)


def Stamp(seconds):
    local = START + timedelta(seconds=int(seconds)) + LOCAL_OFFSET
    return "%02d/%s/%04d:%02d:%02d:%02d +0100" % (local.day, MONTHS[local.month - 1], local.year, local.hour,
                                                 local.minute, local.second)


def Format(r):
    return '%s - - [%s] "%s %s %s" %d %s "%s" "%s"' % (r.host, Stamp(r.start), r.method, r.path, r.protocol, r.status,
                                                     r.size, r.referrer, r.agent)


def Malformed(rng, sample):
    """Lines a real log collects now and then: cut off, common format, bad dates, noise."""
    cut = sample[: rng.randrange(20, len(sample) - 30)]
    return [
        cut,
        '%s - - [31/Nov/2026:25:61:00 +0100] "GET / HTTP/1.1" 200 512 "-" "Mozilla/5.0"' % "81.2.69.160",
        '%s - - [03/Nov/2026:10:00:00 +0100] "GET /index.html HTTP/1.0" 200 2326' % "92.40.1.7",
        "\\x16\\x03\\x01\\x02\\x00\\x01\\x00\\x01\\xfc\\x03\\x03 garbage on port 80",
        "-- log rotated by logrotate, server restarted --",
        '"GET /images/logo.svg HTTP/2.0" 200 5120 "-" "Mozilla/5.0"',
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lines", type=int, required=True, help="number of lines to write (at least 100)")
    parser.add_argument("--seed", type=int, default=1, help="random seed; the same seed gives the same file")
    parser.add_argument("--out", required=True, help="file to write")
    parser.add_argument("--servers", type=int, default=2, choices=[1, 2],
                        help="load-balanced servers whose batches are interleaved (default 2)")
    args = parser.parse_args()
    if args.lines < 100:
        parser.error("--lines must be at least 100")

    rng = random.Random(args.seed)
    days = min(25.0, max(1.0, args.lines / 10000.0))
    gen = Generator(rng, days * 86400.0, args.servers)
    gen.Monitors()
    malformedCount = 6
    wanted = args.lines - malformedCount
    while len(gen.requests) < wanted:
        roll = rng.random()
        if roll < 0.80:
            gen.Visitor()
        elif roll < 0.81:
            gen.DirectDownloadVisit()
        else:
            gen.RobotBurst()
    # The last session may overshoot: drop its latest requests.
    extra = len(gen.requests) - wanted
    if extra > 0:
        del gen.requests[-extra:]

    # Each server writes a line when its request ends and ships its lines in batches every few seconds.
    period = [4.0, 7.0]
    phase = [rng.uniform(0, 4.0), rng.uniform(0, 7.0)]

    def Arrival(r):
        p, ph = period[r.server], phase[r.server]
        return math.ceil((r.end - ph) / p) * p + ph

    gen.requests.sort(key=lambda r: (Arrival(r), r.end))
    lines = [Format(r) for r in gen.requests]
    bad = Malformed(rng, lines[len(lines) // 2])
    for line in bad:
        lines.insert(rng.randrange(1, len(lines)), line)

    try:
        with open(args.out, "w", encoding="utf-8", newline="\n") as out:
            out.write("\n".join(lines) + "\n")
    except OSError as error:
        sys.exit("make_realistic_log: cannot write %s: %s" % (args.out, error.strerror))
    print("%s: %d lines (%d malformed), %d sessions, %d hosts, %.1f days" %
          (args.out, len(lines), len(bad), gen.sessions, len(gen.usedHosts), days), file=sys.stderr)


if __name__ == "__main__":
    main()
