#!/usr/bin/env python3
"""Counts visits, browsers, systems, robots and Google referrals of a combined access log by
rules of its own, to compare with a Quorvel report of the same log.

Hits are sorted by time (stable) and replayed per host: consecutive hits of one host without a
pause longer than the timeout form one visit. A visit's browser, system and referrer are taken
from its first hit. Standard library only.

    python3 tools/replay_log.py access.log --timeout 20 [--ignore-errors] [--json]
"""

import argparse
import json
import re
import sys
from collections import Counter
from datetime import datetime, timedelta, timezone

LINE = re.compile(r'^(\S+) \S+ \S+ \[(\d{2})/([A-Z][a-z]{2})/(\d{4}):(\d{2}):(\d{2}):(\d{2}) ([+-])(\d{2})(\d{2})\] '
                  r'"([^"]*)" (\d{3}) (\S+) "([^"]*)" "([^"]*)"$')
MONTHS = {m: i + 1 for i, m in enumerate("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split())}
ROBOT_WORDS = re.compile(r"bot|spider|crawl|slurp|facebookexternalhit|curl/|wget/|python-requests|go-http-client|"
                         r"pingdom|uptime|headless|scrapy|httpclient", re.I)
ROBOT_NAME = re.compile(r"([A-Za-z][\w.-]*(?:bot|Bot|spider|crawler)|facebookexternalhit|curl|Wget|python-requests|"
                        r"Pingdom\.com_bot|UptimeRobot)")
GOOGLE_HOST = re.compile(r"^https?://(www\.)?google\.[a-z]{2,3}(\.[a-z]{2})?(/|$)", re.I)


def BrowserFamily(agent):
    """Browser family, tokens checked in the order that their look-alikes need."""
    if ROBOT_WORDS.search(agent):
        match = ROBOT_NAME.search(agent)
        return "Robot " + (match.group(1) if match else "other")
    for token, family in (("Edg/", "Edge"), ("EdgA/", "Edge"), ("EdgiOS/", "Edge"), ("OPR/", "Opera"),
                          ("SamsungBrowser/", "Samsung Internet"), ("FBAN/", "Facebook app"), ("Firefox/", "Firefox"),
                          ("FxiOS/", "Firefox"), ("CriOS/", "Chrome"), ("Chrome/", "Chrome"), ("Safari/", "Safari"),
                          ("MSIE ", "Internet Explorer"), ("Trident/", "Internet Explorer")):
        if token in agent:
            return family
    return "Other"


def SystemFamily(agent):
    if ROBOT_WORDS.search(agent):
        return "Robot"
    for token, family in (("Windows", "Windows"), ("iPhone", "iOS"), ("iPad", "iOS"), ("Android", "Android"),
                          ("CrOS", "Chrome OS"), ("Macintosh", "macOS"), ("Linux", "Linux"), ("X11", "Linux")):
        if token in agent:
            return family
    return "Other"


def ParseTime(m):
    try:
        local = datetime(int(m.group(4)), MONTHS[m.group(3)], int(m.group(2)), int(m.group(5)), int(m.group(6)),
                         int(m.group(7)), tzinfo=timezone.utc)
    except (KeyError, ValueError):
        return None
    offset = timedelta(hours=int(m.group(9)), minutes=int(m.group(10)))
    return (local - offset if m.group(8) == "+" else local + offset).timestamp()


def Replay(path, timeout, ignoreErrors):
    hits, malformed, lines = [], 0, 0
    with open(path, encoding="utf-8", errors="replace") as log:
        for text in log:
            lines += 1
            m = LINE.match(text.rstrip("\r\n"))
            t = ParseTime(m) if m else None
            if t is None:
                malformed += 1
                continue
            if ignoreErrors and int(m.group(12)) >= 400:
                continue
            hits.append((t, m.group(1), m.group(14), m.group(15)))
    hits.sort(key=lambda h: h[0])  # stable: equal times keep the file's order

    lastSeen = {}
    result = {"lines": lines, "malformed": malformed, "hits": len(hits), "visits": 0, "robot_visits": 0,
              "google_referral_visits": 0, "google_referral_hits": 0, "google_app_referral_visits": 0}
    browserVisits, systemVisits, browserHits, systemHits = Counter(), Counter(), Counter(), Counter()
    for t, host, referrer, agent in hits:
        browser, system = BrowserFamily(agent), SystemFamily(agent)
        browserHits[browser] += 1
        systemHits[system] += 1
        isGoogle = bool(GOOGLE_HOST.match(referrer))
        result["google_referral_hits"] += isGoogle
        last = lastSeen.get(host)
        if last is None or t - last > timeout * 60:
            result["visits"] += 1
            result["robot_visits"] += system == "Robot"
            result["google_referral_visits"] += isGoogle
            result["google_app_referral_visits"] += "googlequicksearchbox" in referrer
            browserVisits[browser] += 1
            systemVisits[system] += 1
        lastSeen[host] = t
    result.update(browser_visits=browserVisits.most_common(), system_visits=systemVisits.most_common(),
                  browser_hits=browserHits.most_common(), system_hits=systemHits.most_common())
    return result


def PrintTable(r, top):
    print("lines %d, malformed %d, hits %d" % (r["lines"], r["malformed"], r["hits"]))
    print("visits %d (robots %d)" % (r["visits"], r["robot_visits"]))
    print("Google referrals: %d visits, %d hits (Google app: %d visits)" %
          (r["google_referral_visits"], r["google_referral_hits"], r["google_app_referral_visits"]))
    for title, key in (("browser family", "browser"), ("system family", "system")):
        print("\n%-28s %8s %8s" % (title, "visits", "hits"))
        hitsBy = dict(r[key + "_hits"])
        for name, visits in r[key + "_visits"][:top]:
            print("%-28s %8d %8d" % (name, visits, hitsBy.get(name, 0)))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("log", help="combined-format access log")
    parser.add_argument("--timeout", type=float, default=20, help="visit timeout in minutes (default 20)")
    parser.add_argument("--ignore-errors", action="store_true", help="leave out hits with status 400 and above")
    parser.add_argument("--top", type=int, default=12, help="rows per family table (default 12)")
    parser.add_argument("--json", action="store_true", help="print the figures as JSON")
    args = parser.parse_args()
    try:
        result = Replay(args.log, args.timeout, args.ignore_errors)
    except OSError as error:
        sys.exit("replay_log: cannot read %s: %s" % (args.log, error.strerror))
    if args.json:
        json.dump(result, sys.stdout, indent=1)
        print()
    else:
        PrintTable(result, args.top)


if __name__ == "__main__":
    main()
