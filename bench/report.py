"""Figures of a benchmark run: medians with their quartiles, the ratios of
kestrion to every other tool, and the tables as text, Markdown and JSON."""

import json


def quantile(values, q):
    """Linear interpolation between the closest ranks, as spreadsheets do."""
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    at = (len(ordered) - 1) * q
    low = int(at)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (at - low)


def summarize(samples):
    walls = [s["wall"] for s in samples]
    return {
        "median": quantile(walls, 0.5),
        "p25": quantile(walls, 0.25),
        "p75": quantile(walls, 0.75),
        "cpu": quantile([s["cpu"] for s in samples], 0.5),
        "peak_rss_mib": max(s["rss_kib"] for s in samples) / 1024,
        "all_ok": all(s["ok"] for s in samples),
    }


def case_summary(case):
    """Per tool: the figures, and kestrion's median over the tool's."""
    figures = {tool: summarize(samples) for tool, samples in case["samples"].items()}
    ours = figures["kestrion"]["median"]
    for tool, row in figures.items():
        row["ratio"] = ours / row["median"] if tool != "kestrion" and row["median"] > 0 else None
    return figures


COLUMNS = ("tool", "median s", "p25–p75 s", "MiB/s", "kestrion / tool", "CPU s", "peak RSS MiB")


def seconds(value):
    """Milliseconds show for runs under a second."""
    return f"{value:.3f}" if value < 1 else f"{value:.2f}"


def rate(mib_per_second):
    return f"{mib_per_second:.1f}" if mib_per_second < 10 else f"{mib_per_second:.0f}"


def rows(case, figures):
    mib = case["size"] / 1048576
    out = []
    for tool in case["samples"]:
        row = figures[tool]
        ratio = "—" if row["ratio"] is None else f"{row['ratio']:.2f}"
        name = tool + ("" if row["all_ok"] else " (a file DIFFERED)")
        out.append((name, seconds(row["median"]), f"{seconds(row['p25'])}–{seconds(row['p75'])}",
                    rate(mib / row["median"]) if row["median"] > 0 else "—", ratio,
                    f"{row['cpu']:.2f}", f"{row['peak_rss_mib']:.1f}"))
    return out


def text_table(case, figures):
    body = rows(case, figures)
    widths = [max(len(str(r[i])) for r in [COLUMNS] + body) for i in range(len(COLUMNS))]
    line = lambda r: "  ".join(str(c).rjust(w) if i else str(c).ljust(w) for i, (c, w) in enumerate(zip(r, widths)))
    return "\n".join([case["title"], line(COLUMNS)] + [line(r) for r in body])


def markdown_table(case, figures):
    out = [f"### {case['title']}", "", "| " + " | ".join(COLUMNS) + " |", "|" + "---|" * len(COLUMNS)]
    out += ["| " + " | ".join(r) + " |" for r in rows(case, figures)]
    return "\n".join(out)


def meta_lines(meta):
    return [f"{key}: {value}" for key, value in meta.items()]


def write(results_base, meta, cases):
    """Prints every table and writes RESULTS_BASE.md and RESULTS_BASE.json."""
    summaries = [case_summary(case) for case in cases]
    print()
    print("\n".join(meta_lines(meta)))
    for case, figures in zip(cases, summaries):
        print()
        print(text_table(case, figures))
    print("\nkestrion / tool: kestrion's median time over the tool's (below 1: kestrion is faster).")
    print("CPU s: user + system seconds of the tool, median; peak RSS: the largest of the runs.")
    with open(results_base + ".md", "w") as out:
        out.write("# Benchmark\n\n" + "\n".join(f"- {line}" for line in meta_lines(meta)) + "\n")
        for case, figures in zip(cases, summaries):
            out.write("\n" + markdown_table(case, figures) + "\n")
            if case.get("note"):
                out.write("\n" + case["note"] + "\n")
        out.write("\nkestrion / tool: kestrion's median time over the tool's (below 1: kestrion is faster). "
                  "CPU s: user + system seconds, median. Peak RSS: the largest of the runs.\n")
    with open(results_base + ".json", "w") as out:
        json.dump({"meta": meta, "cases": [
            {"name": c["name"], "title": c["title"], "size_bytes": c["size"], "note": c.get("note", ""),
             "tools": {tool: {**figures[tool], "runs": c["samples"][tool]} for tool in c["samples"]}}
            for c, figures in zip(cases, summaries)]}, out, indent=1)
    print(f"\nWritten: {results_base}.md and .json")
