# The peer of bench_report_print: python3-reportlab writes the cells of the
# list template over N rows (title, page header, four framed cells a row,
# "Стр. P из T" below) into a PDF file, with the same page geometry.
import sys

from reportlab.lib.pagesizes import A4
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.pdfgen import canvas

FONT = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"
PX = 72.0 / 96.0  # page pixels to points
PAGE_H = A4[1]
HEADER_TOP, ROW_TOP, ROW_H, FOOTER_GAP = 80, 124, 20, 80


def cell(c, left, top, width, height, text):
    y = PAGE_H - (top + height) * PX
    c.rect(left * PX, y, width * PX, height * PX)
    c.drawString((left + 2) * PX, y + (height - 13) * PX, text)


def main():
    path, rows = sys.argv[1], int(sys.argv[2])
    pdfmetrics.registerFont(TTFont("Sans", FONT))
    page_h_px = PAGE_H / PX
    footer = int(page_h_px) - FOOTER_GAP
    first = (footer - ROW_TOP) // ROW_H
    per_page = (footer - HEADER_TOP - 24) // ROW_H
    pages = 1 + max(0, -(-(rows - first) // per_page))
    c = canvas.Canvas(path, pagesize=A4)
    c.setFont("Sans", 10)
    heads = ["N", "Дата", "P, кН", "Примечание"]
    row, page = 1, 1
    while row <= rows:
        c.setFont("Sans", 10)
        top = HEADER_TOP
        if page == 1:
            cell(c, 20, 20, 600, 40, "Протокол испытаний")
        for i, h in enumerate(heads):
            cell(c, 20 + i * 160, top, 160, 24, h)
        top += 24 if page > 1 else ROW_TOP - HEADER_TOP
        while row <= rows and top + ROW_H <= footer:
            values = [str(row), "05.03.2024", ("%g" % (row * 0.25)).replace(".", ","), "образец %d" % row]
            for i, v in enumerate(values):
                cell(c, 20 + i * 160, top, 160, ROW_H, v)
            top += ROW_H
            row += 1
        cell(c, 20, footer, 600, 24, "Стр. %d из %d" % (page, pages))
        c.showPage()
        page += 1
    c.save()


main()
