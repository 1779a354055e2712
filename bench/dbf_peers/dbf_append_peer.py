# The peer of the append benchmark: python3-dbf makes a table of the
# measurement fields (dBase III, which the peer writes; the records are laid out alike, code page 1251) and appends the rows of a
# UTF-8 CSV file with a header row naming the fields, as dbftool append does.
import csv
import sys

import dbf

FIELDS = ("N N(9,0); DATE C(10); TIME C(8); DEV_TYPE N(4,0); SERIAL N(9,0); NB_TYPE N(4,0); "
          "P N(18,9); R N(18,9); ZAV C(50); TYPE C(15); COMMENT C(100); H N(18,9); T N(18,9); "
          "K N(18,9); A1 N(18,9); A2 N(18,9); A3 N(18,9); D1 N(18,9); D2 N(18,9); D3 N(18,9)")
TEXT = {"DATE", "TIME", "ZAV", "TYPE", "COMMENT"}


def main():
    table_path, csv_path = sys.argv[1], sys.argv[2]
    table = dbf.Table(table_path, FIELDS, dbf_type="db3", codepage="cp1251")
    table.open(dbf.READ_WRITE)
    with open(csv_path, newline="", encoding="utf-8") as f:
        rows = csv.reader(f)
        names = next(rows)
        text = [n in TEXT for n in names]
        count = 0
        for row in rows:
            table.append(tuple(v if t else float(v) for v, t in zip(row, text)))
            count += 1
    table.close()
    print(count)


main()
