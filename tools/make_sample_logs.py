#!/usr/bin/env python3
"""Writes the sample logs of data/samples/: a combined access log, a gzipped older
rotation of it, and in w3c/ an extended (W3C) log whose header block restarts part-way.

Deterministic: the same script always writes the same bytes. Run from anywhere:
    python3 tools/make_sample_logs.py [--out DIR]
"""

import argparse
import gzip
import io
import os
import random
from datetime import datetime, timedelta, timezone

PAGES = ["/", "/index.html", "/about.html", "/contact.html", "/products/", "/products/tents.html",
         "/products/stoves.html", "/products/rucksacks.html", "/blog/", "/blog/2026/11/first-snow.html",
         "/blog/2026/11/packing-list.html", "/blog/2026/10/autumn-trails.html", "/search.php",
         "/shop/cart.php", "/shop/checkout.php", "/downloads/catalogue-2026.pdf", "/downloads/manual.zip"]
ASSETS = ["/css/site.css", "/js/site.js", "/images/logo.png", "/images/hero.jpg", "/images/tent.jpg",
          "/favicon.ico"]
MISSING = ["/wp-login.php", "/old/page.htm", "/.env", "/images/banner.gif"]
AGENTS = [
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/130.0.0.0 Safari/537.36",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_6) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.1 Safari/605.1.15",
    "Mozilla/5.0 (X11; Linux x86_64; rv:132.0) Gecko/20100101 Firefox/132.0",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 18_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.1 Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/130.0.0.0 Mobile Safari/537.36",
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)",
]
CRAWLERS = [
    "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
    "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
    "curl/8.5.0",
]
SEARCHES = [("https://www.google.com/search?q=", ["lightweight tent", "camping stove review", "winter packing list",
                                                    "rucksack 40 litre"]),
            ("https://www.bing.com/search?q=", ["tent shop", "first snow hiking"]),
            ("https://duckduckgo.com/?q=", ["stove manual", "autumn trails"])]
USERS = ["-"] * 20 + ["anna", "ben"]


def sessions(rng, start, days, count):
    """Yields (time, host, agent, referrer, path, status, size, user) in time order."""
    events = []
    for _ in range(count):
        t = start + timedelta(seconds=rng.randrange(days * 86400))
        crawler = rng.random() < 0.12
        host = "%d.%d.%d.%d" % (rng.choice([81, 88, 93, 151, 185, 203, 66]), rng.randrange(256), rng.randrange(256),
                                rng.randrange(1, 255))
        agent = rng.choice(CRAWLERS if crawler else AGENTS)
        user = rng.choice(USERS)
        if rng.random() < 0.3:
            base, phrases = rng.choice(SEARCHES)
            referrer = base + rng.choice(phrases).replace(" ", "+")
        else:
            referrer = "-"
        for i in range(rng.randrange(1, 12)):
            path = rng.choice(PAGES)
            status, size = 200, rng.randrange(2000, 60000)
            roll = rng.random()
            if roll < 0.05:
                path, status, size = rng.choice(MISSING), 404, 512
            elif roll < 0.10:
                status, size = 304, 0
            elif path.endswith(".pdf") and rng.random() < 0.5:
                status = 206
            events.append((t, host, agent, referrer if i == 0 else "https://www.example-outdoor.test" + PAGES[0],
                           path, status, size, user))
            if not crawler and path.endswith(".html"):
                for asset in rng.sample(ASSETS, 3):
                    events.append((t + timedelta(seconds=1), host, agent,
                                   "https://www.example-outdoor.test" + path, asset, 200, rng.randrange(500, 90000), user))
            t += timedelta(seconds=rng.randrange(5, 400))
    events.sort(key=lambda e: e[0])
    return events


def combined(events):
    out = io.StringIO()
    for t, host, agent, referrer, path, status, size, user in events:
        query = "?q=stove" if path == "/search.php" else ""
        out.write('%s - %s [%s] "GET %s%s HTTP/1.1" %d %s "%s" "%s"\n' % (
            host, user, t.strftime("%d/%b/%Y:%H:%M:%S +0000"), path, query, status, size if size else "-",
            referrer, agent))
    return out.getvalue()


def extended(events):
    """An extended log as a server writes it, restarting its header block (with other
    columns) half-way through, as after a server restart."""
    out = io.StringIO()
    half = len(events) // 2
    for block, part in enumerate((events[:half], events[half:])):
        first = part[0][0]
        out.write("#Software: Microsoft Internet Information Services 10.0\r\n#Version: 1.0\r\n")
        out.write("#Date: %s\r\n" % first.strftime("%Y-%m-%d %H:%M:%S"))
        if block == 0:
            out.write("#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username c-ip "
                      "cs(User-Agent) cs(Referer) sc-status sc-substatus sc-win32-status time-taken\r\n")
        else:
            out.write("#Fields: date time c-ip cs-username cs-method cs-uri-stem cs-uri-query sc-status sc-bytes "
                      "cs(User-Agent) cs(Referer)\r\n")
        for t, host, agent, referrer, path, status, size, user in part:
            query = "q=stove" if path == "/search.php" else "-"
            agent = agent.replace(" ", "+")
            if block == 0:
                out.write("%s 10.0.0.5 GET %s %s 443 %s %s %s %s %d 0 0 %d\r\n" % (
                    t.strftime("%Y-%m-%d %H:%M:%S"), path, query, user, host, agent, referrer, status,
                    (size // 300) + 15))
            else:
                out.write("%s %s %s GET %s %s %d %d %s %s\r\n" % (
                    t.strftime("%Y-%m-%d %H:%M:%S"), host, user, path, query, status, size, agent, referrer))
    return out.getvalue()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "data", "samples"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    rng = random.Random(2026)
    start = datetime(2026, 11, 1, tzinfo=timezone.utc)
    with open(os.path.join(args.out, "access.log"), "w", newline="") as f:
        f.write(combined(sessions(rng, start + timedelta(days=15), 15, 450)))
    # An older rotation, compressed; mtime 0 keeps the bytes the same on every run.
    data = combined(sessions(rng, start, 15, 350)).encode()
    with open(os.path.join(args.out, "access.log.1.gz"), "wb") as raw:
        with gzip.GzipFile(filename="access.log.1", mode="wb", fileobj=raw, mtime=0) as gz:
            gz.write(data)
    # In a folder of its own, read after the others: its "#Fields" lines set the layout for
    # the rest of a pass.
    os.makedirs(os.path.join(args.out, "w3c"), exist_ok=True)
    with open(os.path.join(args.out, "w3c", "u_ex2611.log"), "w", newline="") as f:
        f.write(extended(sessions(rng, start, 30, 250)))


if __name__ == "__main__":
    main()
