"""The rows of a walk benchmark from hyperfine's JSON export: median, spread, CPU time and
the ratio to the names-only floor. Used by scripts/bench.sh."""
import json
import statistics


def walk_table(path, title):
    """Prints one row per command and returns (results by command, medians in ms)."""
    res = {r["command"]: r for r in json.load(open(path))["results"]}
    med = {k: statistics.median(r["times"]) * 1000 for k, r in res.items()}
    print("%-21s %9s %9s %9s %8s %8s %8s %8s" % (title, "median ms", "min", "max", "user s",
                                                "sys s", "cpu/wall", "x floor"))
    for k, r in res.items():
        print("%-21s %9.1f %9.1f %9.1f %8.3f %8.3f %8.2f %8.2f" % (
            k, med[k], r["min"] * 1000, r["max"] * 1000, r["user"], r["system"],
            (r["user"] + r["system"]) / r["mean"], med[k] / med["floor"]))
    return res, med
