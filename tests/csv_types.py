"""Reads CSV files with pandas.read_csv (no options) and checks each column's
dtype against tests/csv_types.txt. Usage: csv_types.py TYPES LAYOUT[+LAYOUT]=FILE...
Prints one line per fault; exit status 1 when there is one."""
import sys

import pandas as pd


def kinds(types_path):
    sections, current = {}, None
    for line in open(types_path, encoding="utf-8"):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            current = sections.setdefault(line.strip("[]"), [])
        else:
            current.append(tuple(line.split()))
    return sections


def fault(kind, s):
    """What is wrong with column s for this kind, or None."""
    if s.isna().all() and s.dtype == "float64" and kind in ("int?", "num?", "text"):
        return None
    if kind == "int":
        return None if s.dtype == "int64" else "not int64"
    if kind == "int?":
        if s.dtype == "int64":
            return None
        ok = s.dtype == "float64" and (s.dropna() % 1 == 0).all()
        return None if ok else "not int64 nor float64 of whole numbers"
    if kind in ("num", "num?"):
        if s.dtype != "float64":
            return "not float64"
        return "has NaN" if kind == "num" and s.isna().any() else None
    if kind == "bool":
        return None if s.dtype == "bool" else "not bool"
    if kind == "value":
        return None if s.dtype in ("object", "float64", "int64") else "not object nor a number"
    return None if s.dtype == "object" else "not object"


def main():
    sections, bad = kinds(sys.argv[1]), 0
    for arg in sys.argv[2:]:
        layouts, path = arg.split("=", 1)
        want = [c for name in layouts.split("+") for c in sections[name]]
        data = pd.read_csv(path)
        if list(data.columns) != [name for name, _ in want]:
            print(f"{path}: columns {list(data.columns)} are not {[n for n, _ in want]}")
            bad += 1
            continue
        for name, kind in want:
            why = fault(kind, data[name])
            if why:
                print(f"{path}: column {name} ({kind}) read as {data[name].dtype}: {why}")
                bad += 1
    sys.exit(1 if bad else 0)


main()
