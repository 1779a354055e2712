# The peer of the filtered dump: python3-dbfread reads every record of the
# table (code page 1251) and keeps those whose NB_TYPE is 1, printing how many.
import sys

import dbfread


def main():
    table = dbfread.DBF(sys.argv[1], encoding="cp1251")
    print(sum(1 for r in table if r["NB_TYPE"] == 1))


main()
