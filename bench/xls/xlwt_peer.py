# The peer of bench_xls: python3-xlwt writes the same cells as the acoustic
# export of N table rows (3 sheet rows per table row, merged columns 0-3 and
# 6-9, texts in the other columns) and prints the file's size. With "full" after
# N it writes a full sheet instead: N rows of 20 one-cell ranges, numbers in
# the even columns and texts in the odd ones (bench_xls's BuildFullSheet).
import os
import sys

import xlwt

def full(path, rows):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Full")
    for r in range(rows):
        row = sheet.row(r)
        for c in range(0, 20, 2):
            row.write(c, r * 20 + c + 0.5)
            row.write(c + 1, "%d-%d" % (r, c + 1))
    book.save(path)
    print(os.path.getsize(path))

def main():
    path, rows = sys.argv[1], int(sys.argv[2])
    if len(sys.argv) > 3 and sys.argv[3] == "full":
        return full(path, rows)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("ЛИВТ-КС7")
    style = xlwt.easyxf("align: horiz center, vert center")
    heads = ["N", "Дата", "Время", "Ао, дБ", None, None, "dH, мм", "Ку, дБ", "Ку асв, дБ", "Примечание"]
    for c, h in enumerate(heads):
        if h is not None:
            sheet.write_merge(0, 2, c, c, h, style)
    for r in range(3):
        sheet.write(r, 4, "Асв%d, дБ" % (r + 1), style)
        sheet.write(r, 5, "Ао-Асв%d, дБ" % (r + 1), style)
    for j in range(rows):
        top = 3 * j + 3
        sheet.write_merge(top, top + 2, 0, 0, j + 1, style)
        sheet.write_merge(top, top + 2, 1, 1, "%02d.%02d.2024" % (j % 28 + 1, j % 12 + 1), style)
        sheet.write_merge(top, top + 2, 2, 2, "%02d:%02d:%02d" % (j % 24, j % 60, j % 60), style)
        sheet.write_merge(top, top + 2, 3, 3, "%4.1f" % (j % 100 + 0.5), style)
        for k in range(3):
            sheet.write(top + k, 4, "%4.1f" % (j % 50 + k), style)
            sheet.write(top + k, 5, "%4.1f" % (j % 40 + k), style)
        sheet.write_merge(top, top + 2, 6, 6, (j % 30) / 4.0, style)
        sheet.write_merge(top, top + 2, 7, 7, "%4.0f" % (j % 90), style)
        sheet.write_merge(top, top + 2, 8, 8, "%4.0f" % (j % 70), style)
        sheet.write_merge(top, top + 2, 9, 9, "замер %d" % j, style)
    book.save(path)
    print(os.path.getsize(path))

main()
