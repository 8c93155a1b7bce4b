"""Task files of made-up studies for the report's tests: participants whose numbers follow a
pattern, with outliers planted where a test wants them."""
import random

HEADER = "Vantry 2.3\tsession 1\r\nrow\tlabel\tboxes\tcode\tfound\ttime\topen\topened\tlatency\trevisits\r\n"


def revisits(errors):
    """Column 9 for a number of within-search errors: one character counts 1, a list its blanks."""
    if errors == 0:
        return ""
    return "1" if errors == 1 else " ".join(str(i) for i in range(errors + 1))


def task_file(clusters):
    """clusters: a list of (boxes, [(opened, errors), ...]), one pair per trial."""
    lines = [HEADER]
    for code, (boxes, trials) in enumerate(clusters, 1):
        letters = "".join(chr(ord("A") + b) for b in range(boxes))
        for row, (opened, errors) in enumerate(trials):
            target = letters[row % boxes]
            seen = (letters[row % boxes:] + letters[:row % boxes])[:opened]
            lines.append(f"{row}\tc{code}\t{boxes}\t{code}\t{target}\t900\t{opened}\t{seen}\t500\t"
                         f"{revisits(errors)}\r\n")
    return "".join(lines)


def participant(rng, clusters=3, trials=12, boxes=(4, 6, 8), gave_up_after=None):
    """A participant who opens about half the boxes per trial, with a few within-search errors;
    one who gives up opens nothing after that trial."""
    made = []
    for c in range(clusters):
        b = boxes[c % len(boxes)]
        rows = []
        for t in range(trials):
            done = gave_up_after is not None and c * trials + t >= gave_up_after
            rows.append((0, 0) if done else (rng.randint(1, b), rng.choice([0, 0, 0, 1, 1, 2])))
        made.append((b, rows))
    return made


def write_study(folder, count, seed=1, planted=(), clusters=3):
    """count participants pp0001.vty ... in folder; planted maps an index to a participant of
    its own (a list of clusters). Returns the paths in order."""
    rng = random.Random(seed)
    planted = dict(planted)
    paths = []
    for i in range(count):
        clusters_of = planted.get(i) or participant(rng, clusters)
        path = f"{folder}/pp{i + 1:04}.vty"
        with open(path, "w", newline="") as f:
            f.write(task_file(clusters_of))
        paths.append(path)
    return paths


if __name__ == "__main__":
    import sys
    import os
    folder, count = sys.argv[1], int(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(7)
    write_study(folder, count, planted={
        3: participant(rng, gave_up_after=14),
        10: [(4, [(4, 9)] * 12), (6, [(6, 0)] * 12), (8, [(8, 5)] * 12)],
    })
