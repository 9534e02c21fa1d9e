#!/usr/bin/env python3
"""dravonik-cli's handover report and spreadsheet table, read back as their users read them:
the report's text as pdftotext extracts it, the table through Python's csv module.
  report_test.py BIN_DIR SOURCE_DIR"""
import csv
import os
import re
import subprocess
import sys
import tempfile

BIN, SOURCE = sys.argv[1], sys.argv[2]
CLI = os.path.join(BIN, "dravonik-cli")
BUNDLED = os.path.join(SOURCE, "data", "Devices.xml")
failures = []

# A device type with a setting of every kind, named with what a CSV field must quote.
DEFINITIONS = """<?xml version="1.0" encoding="UTF-8"?>
<zsf>
  <settings settings_id="4">
    <group name="Fan, &quot;main&quot;" description="d">
      <setting name="Display Units" value_type="drop_down" type="holding_register" register="1"
               units="pressure"><ddvalue name="Pa" value="0" default="true"/></setting>
      <setting name="Speed, max" value_type="int" type="holding_register" register="10"
               min="0" max="100" default="40" value_text="%"/>
      <setting name="Start &quot;mode&quot;" value_type="drop_down" type="holding_register"
               register="11"><ddvalue name="Soft" value="0" default="true"/>
        <ddvalue name="Hard" value="1"/></setting>
      <setting name="Lock" value_type="checkbox" type="coil" register="0" default="checked"/>
      <setting name="Two&#10;lines" value_type="units" type="holding_register" register="12"
               min="49152" max="50152" default="49232"/>
    </group>
    <group name="Temp °C" description="d">
      <setting name="Starts" value_type="time" type="holding_register" register="20"
               default_hrs="6" default_mins="30" value_text="h"/>
      <setting name="Stops" value_type="time" type="holding_register" register="22"
               default_hrs="99" default_mins="99" value_text="h"/>
      <setting name="Address" value_type="4PartID" type="holding_register" register="24"
               min="0" max="255" default="3232235786" value_text=""/>
      <setting name="Code" value_type="password" type="holding_register" register="30"/>
      <setting name="Site" value_type="name" type="holding_register" register="31"
               NumOfRegisters="2"/>
      <setting name="Level" value_type="label" type="holding_register" register="33" default="3"/>
      <setting name="Note" value_type="label" type="holding_register" register="34"
               label_only="true" default="0"/>
      <setting name="Service" value_type="date" type="holding_register" register="40"/>
      <setting name="Add" value_type="button" type="holding_register" register="42" function="0"/>
    </group>
  </settings>
  <device name="Fan" device_id="7" live_status_id="0" settings_id="4"/>
</zsf>
"""


def check(condition, what):
    if not condition:
        failures.append(what)


def cli(*args, status=0):
    result = subprocess.run([CLI, *args], capture_output=True, text=True)
    check(result.returncode == status, f"{args}: exit {result.returncode}: {result.stderr}")
    return result


def set_values(path, changes):
    """Changes attributes of settings in a settings file: {(setting, attribute): value}."""
    text = open(path, encoding="utf-8").read()
    for (name, attribute), value in changes.items():
        text = re.sub(f'(name="{re.escape(name)}"[^>]* {attribute}=")[^"]*', f"\\g<1>{value}", text)
    open(path, "w", encoding="utf-8").write(text)


def table_rows(path):
    with open(path, encoding="utf-8-sig", newline="") as table:
        return list(csv.reader(table))


def pdf_pages(path):
    # In content order: a row's cells on one line, one space apart.
    text = subprocess.run(["pdftotext", "-raw", path, "-"], capture_output=True,
                          text=True, check=True).stdout
    return text.split("\f")[:-1]


with tempfile.TemporaryDirectory() as folder:
    here = lambda name: os.path.join(folder, name)  # noqa: E731
    devices = here("Devices.xml")
    open(devices, "w", encoding="utf-8").write(DEFINITIONS)

    # The table: one row per setting with a value, each field intact.
    cli("defaults", "--devices", devices, "--device", "Fan", "--out", here("fan.zsf"))
    set_values(here("fan.zsf"), {("Speed, max", "value"): 55, ("Starts", "Hour"): 7,
                                 ("Starts", "Minute"): 0})
    cli("convert", "--devices", devices, "--device-id", "7", "--in", here("fan.zsf"),
        "--out", here("fan.txt"), "--table")
    raw = open(here("fan.txt"), "rb").read()
    check(raw.startswith(b"\xef\xbb\xbfGroup,") and raw.count(b"\r\n") == 13, raw[:80])
    expected = [
        ["Group", "Setting", "Value", "Unit", "Default", "Register"],
        ['Fan, "main"', "Display Units", "Pa", "", "Pa", "holding register 2"],
        ['Fan, "main"', "Speed, max", "55", "%", "40", "holding register 11"],
        ['Fan, "main"', 'Start "mode"', "Soft", "", "Soft", "holding register 12"],
        ['Fan, "main"', "Lock", "Enabled", "", "Enabled", "coil 1"],
        ['Fan, "main"', "Two\nlines", "80", "Pa", "80", "holding register 13"],
        ["Temp °C", "Starts", "07:00", "", "06:30", "holding registers 21 to 22"],
        ["Temp °C", "Stops", "off", "", "off", "holding registers 23 to 24"],
        ["Temp °C", "Address", "192.168.1.10", "", "192.168.1.10", "holding registers 25 to 26"],
        ["Temp °C", "Code", "0000", "", "0000", "holding register 31"],
        ["Temp °C", "Site", "", "", "", "holding registers 32 to 33"],
        ["Temp °C", "Level", "3", "Pa", "3", "holding register 34"],
        ["Temp °C", "Service", "January 1", "", "", "holding registers 41 to 42"],
    ]
    rows = table_rows(here("fan.txt"))
    for row, wanted in zip(rows, expected):
        check(row == wanted, f"table row {row}, not {wanted}")
    check(len(rows) == len(expected), f"{len(rows)} table rows")

    # The report of the same file: every value with its unit, the defaults, the marks.
    cli("report", "--devices", devices, here("fan.zsf"), "--out", here("fan.pdf"))
    page = pdf_pages(here("fan.pdf"))[0]
    check("Fan (device id 7)" in page and "Connection: offline edit" in page, page[:300])
    for line in ['Fan, "main"', "Speed, max 55 % 40 % *", 'Start "mode" Soft Soft',
                 "Two lines 80 Pa 80 Pa", "Starts 07:00 06:30 *", "Stops off off", "Temp °C",
                 "Address 192.168.1.10 192.168.1.10", "Lock Enabled Enabled", "Level 3 Pa 3 Pa",
                 "Service January 1", "Fan Page 1 of 1"]:
        check(line in page.splitlines(), f"report: no line {line!r}:\n{page}")
    check(not re.search("^(Note|Add)$", page, re.M), "settings without a value reported")

    # The bundled definitions' P500, its R12 groups included: pages of at most 50 rows, every
    # group named, no row split, the device type and page number in every footer.
    p500 = "Dravonik P500 Pressure Controller"
    cli("defaults", "--devices", BUNDLED, "--device-id", "1", "--out", here("p500.zsf"))
    cli("report", "--devices", BUNDLED, here("p500.zsf"), "--out", here("p500.pdf"))
    cli("convert", "--devices", BUNDLED, "--device-id", "1", "--in", here("p500.zsf"),
        "--out", here("p500.csv"), "--table")
    rows = table_rows(here("p500.csv"))[1:]
    pages = pdf_pages(here("p500.pdf"))
    check(len(pages) >= 3, f"{len(pages)} pages for {len(rows)} rows")
    text = "\n".join(pages)
    for group in dict.fromkeys(row[0] for row in rows):
        check(re.search(f"^{re.escape(group)}( \\(continued\\))?$", text, re.M),
              f"group {group!r} not reported")
    for number, page in enumerate(pages, 1):
        lines = [line for line in page.splitlines() if line.strip()]
        check(lines[-1] == f"{p500} Page {number} of {len(pages)}",
              f"footer of page {number}: {lines[-1]!r}")
        # Rows and headings, the column heads, the footer; the title on the first page.
        check(len(lines) <= 50 + 2 + (4 if number == 1 else 0) and (
              number == len(pages) or len(lines) >= 45), f"page {number} has {len(lines)} lines")
    for row in rows:
        setting = row[1].split(" / ")[-1]
        shown = " ".join(part for part in (row[2], row[3]) if part)
        cells = re.escape(f"{setting} {shown}" if shown else setting)
        check(re.search(f"^{cells}( |$)", text, re.M),
              f"row {row} not on one line")

    # A file that does not load leaves no report behind.
    result = cli("report", "--devices", devices, here("no.zsf"), "--out", here("m.pdf"), status=1)
    check(result.stderr.startswith("error: Cannot open file") and not os.path.exists(
        here("m.pdf")), result.stderr)

for failure in failures:
    print("FAILED:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
