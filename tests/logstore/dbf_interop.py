"""Independent readers and writers of .dbf files for the table's tests.

  dump FILE    prints the live rows of FILE, read with dbfread, as JSON:
               {"fields": [[name, type, length], ...], "rows": [[value, ...], ...]}
               dates as "yyyy-mm-dd", missing values as null.
  pyshp FILE   writes FILE with pyshp's dbf writer: the rows of PYSHP_ROWS below.
"""
import datetime
import json
import sys

PYSHP_FIELDS = [("TAKEOFFD", "D", 8, 0), ("TAKEOFFT", "C", 5, 0), ("FLIGHTTIME", "N", 9, 0),
                ("MAXALT", "N", 9, 0), ("COMMENT", "C", 20, 0)]
PYSHP_ROWS = [
    [datetime.date(2025, 7, 14), "8:15", 42, 3500, "Genève"],
    [None, "", None, -12, ""],
    [[2026, 1, 31], "23:59", 999999999, 0, "last row"],
]


def dump(path):
    import dbfread
    table = dbfread.DBF(path, encoding="cp850", char_decode_errors="strict")
    rows = []
    for record in table:
        row = []
        for value in record.values():
            if isinstance(value, datetime.date):
                value = value.isoformat()
            row.append(value)
        rows.append(row)
    fields = [[f.name, f.type, f.length] for f in table.fields]
    json.dump({"fields": fields, "rows": rows}, sys.stdout, ensure_ascii=False)


def pyshp(path):
    import shapefile
    with open(path, "wb") as dbf:
        writer = shapefile.Writer(dbf=dbf, encoding="cp850")
        for field in PYSHP_FIELDS:
            writer.field(*field)
        for row in PYSHP_ROWS:
            writer.record(*row)
        writer.close()


if __name__ == "__main__":
    {"dump": dump, "pyshp": pyshp}[sys.argv[1]](sys.argv[2])
