# The layers of the program, written once. Both the build and the include
# check (scripts/check_layers.py) read this table:
#
#   kiv7_layer(NAME FOLDER folder [UNITS unit...] [ON library...] [QT module...])
#
# FOLDER   the source folder; its headers are included as "folder/unit.h".
# UNITS    when a folder holds two libraries, the units (file names without
#          extension, .cpp and .h alike) of the one that names them; the other
#          library of the folder has every unit nobody names.
# ON       the libraries it stands on. A library may include the headers of
#          these and of what they stand on, and nothing else.
# QT       the Qt modules its own units may include, linked privately: a
#          library above them (grid, report) goes through the toolkit instead,
#          and a program or test that calls Qt itself links Qt itself.
#
# A call holds names only (no quotes, variables or parentheses): the check
# reads this file as text.

kiv7_layer(kiv7_core     FOLDER toolkit/core)
kiv7_layer(kiv7_db       FOLDER toolkit/db   ON kiv7_core)
kiv7_layer(kiv7_sys      FOLDER toolkit/sys  ON kiv7_core)
# The event loop and its timers: Qt Core only, for headless programs too.
kiv7_layer(kiv7_sys_loop FOLDER toolkit/sys  UNITS event_loop  ON kiv7_sys  QT Core)
kiv7_layer(kiv7_dbf      FOLDER dbf          ON kiv7_db kiv7_sys)
kiv7_layer(kiv7_xls      FOLDER xls          ON kiv7_core kiv7_sys)
kiv7_layer(kiv7_gfx      FOLDER toolkit/gfx  ON kiv7_core  QT Gui)
kiv7_layer(kiv7_ui       FOLDER toolkit/ui   ON kiv7_gfx kiv7_sys kiv7_sys_loop  QT Widgets PrintSupport)
kiv7_layer(kiv7_grid     FOLDER grid         ON kiv7_db kiv7_ui)
kiv7_layer(kiv7_report   FOLDER report       ON kiv7_db kiv7_ui)
# The program's Qt-free core: the measurement table, the dump decoders, the
# link protocol and the serial port component; it builds without Qt Gui.
kiv7_layer(kiv7_appcore  FOLDER app          ON kiv7_db kiv7_dbf kiv7_sys kiv7_sys_loop)
# The windows and the program body (kiv7.cpp becomes the program itself).
kiv7_layer(kiv7_appgui   FOLDER app  UNITS kiv7 main receive logo about report_forms
           ON kiv7_appcore kiv7_ui kiv7_grid kiv7_report kiv7_xls)
