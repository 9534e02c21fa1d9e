#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

  tests/fuzz/make_seeds.py [--cli build-fuzz/bin/dravonik-cli]

definitions:   each device type of data/Devices.xml alone with its settings element (scripts/fuzz
               adds the whole data/Devices.xml to the run's corpus).
settings_file: the factory defaults of each bundled device type as dravonik-cli writes them
               (with --cli); the files of the R12 types cut after their first R12 controller's
               groups, so that the seeds stay small.
rtu_try:       scripts of a serial line, in the order RtuTryFuzzer.cpp reads them.
"""
import argparse
import os
import re
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CORPUS = os.path.join(HERE, "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data if isinstance(data, bytes) else data.encode())


def definitions():
    text = open(os.path.join(ROOT, "data", "Devices.xml"), encoding="utf-8").read()
    settings = {m.group(1): m.group(0) for m in
                re.finditer(r'<settings settings_id="(\d+)".*?</settings>', text, re.S)}
    for m in re.finditer(r'<device [^>]*device_id="(\d+)"[^>]*settings_id="(\d+)"[^>]*/>', text):
        body = settings[m.group(2)]
        write("definitions", "device-%s.xml" % m.group(1),
              '<?xml version="1.0" encoding="UTF-8"?>\n<zsf>\n  %s\n  %s\n</zsf>\n'
              % (body, m.group(0)))


def settings_files(cli):
    listing = subprocess.run([cli, "devices"], check=True, capture_output=True, text=True).stdout
    with tempfile.TemporaryDirectory() as folder:
        for line in listing.splitlines():
            device_id = line.split("\t")[1]
            path = os.path.join(folder, "defaults.zsf")
            subprocess.run([cli, "defaults", "--device-id", device_id, "--out", path], check=True)
            text = open(path, encoding="utf-8").read()
            cut = text.find('<group name="Groups 11 to 20"')
            if cut >= 0:
                text = text[:cut].rstrip() + "\n  </device>\n</settings>\n"
            write("settings_file", "defaults-%s.zsf" % device_id, text)


def crc(frame):
    value = 0xFFFF
    for byte in frame:
        value ^= byte
        for _ in range(8):
            value = (value >> 1) ^ 0xA001 if value & 1 else value >> 1
    return bytes(frame) + bytes([value & 0xFF, value >> 8])


FUNCTIONS = {3: 0, 1: 1, 5: 2, 6: 3, 16: 4}
KINDS = {"correct": 0, "altered_crc": 1, "altered": 2, "exception": 3, "raw": 4, "silence": 5}


def request(function, slave=1, reference=1, arg=1, values=()):
    """The choices of one request of the function layer."""
    out = [FUNCTIONS[function], (slave - 1) % 256]
    out += divmod((reference - 1) % 65536, 256)
    if function == 1:
        out += divmod(arg - 1, 256)
    elif function == 3:
        out += [arg - 1]
    elif function == 5:
        out += [arg]
    elif function == 6:
        out += divmod(arg & 0xFFFF, 256)
    else:
        out += [len(values) - 1]
        for value in values:
            out += divmod(value & 0xFFFF, 256)
    return out


def serial_try(answer, reads=(0, 0)):
    """One try on the serial line: purge without late bytes, one drain read that finds the line
    silent, a write that succeeds, the answer's choices, then the outcomes of the reads."""
    return [0, 0, 0] + answer + list(reads)


def script(*parts, usb=False, retries=0):
    out = [1 if usb else 0, retries]
    if usb:
        out += [0]  # the purge of the opening: no late bytes
    for part in parts:
        out += part
    return bytes(out)


def usb_try(answer, reads=(0, 0)):
    """One try through the USB driver: the drain read first, then the driver's purge."""
    return [0, 0, 0] + answer + list(reads)


def rtu_try():
    registers = list(b"\xff\xfe\x01\x2c")  # -2 and 300
    seeds = {
        # Read two holding registers, correct reply.
        "read-registers": script(request(3, arg=2), serial_try([KINDS["correct"]] + registers)),
        # Read ten coils, correct reply.
        "read-coils": script(request(1, arg=10), serial_try([KINDS["correct"], 0x04, 0x01])),
        # Write a coil, echoed; write a register, acknowledged with 00 02.
        "write-coil-and-register": script(
            request(5, reference=3, arg=1), serial_try([KINDS["correct"], 0]),
            request(6, reference=65536, arg=-1), serial_try([KINDS["correct"], 1])),
        # Write three registers.
        "write-registers": script(request(16, reference=101, values=(1, -2, 300)),
                                  serial_try([KINDS["correct"]])),
        # Illegal data address.
        "exception": script(request(3, arg=1), serial_try([KINDS["exception"], 2], reads=(0,))),
        # The reply of slave 2 with a good CRC, then silence on the retry; the next request
        # is answered.
        "other-slave-then-silence": script(
            request(3, arg=1),
            serial_try([KINDS["altered_crc"], 0x00, 0x07, 0, 0, 2, 0]),
            serial_try([KINDS["silence"]], reads=(0,)),
            request(3, arg=1), serial_try([KINDS["correct"], 0, 7]), retries=1),
        # A reply whose bytes are as a device sent them: 01 03 04 FF FE 01 2C + CRC.
        "raw-reply": script(request(3, arg=2),
                            serial_try([KINDS["raw"], 0, 9] + list(crc([1, 3, 4] + registers)))),
        # The first read gets three bytes, then times out.
        "partial-read": script(request(3, arg=2),
                               serial_try([KINDS["correct"]] + registers, reads=(6, 3))),
        # The same reads through the USB converter.
        "usb-read-registers": script(request(3, arg=2),
                                     usb_try([KINDS["correct"]] + registers), usb=True),
        "usb-read-coils-bad-crc": script(
            request(1, arg=16), usb_try([KINDS["altered"], 0x55, 0xAA, 1, 5, 0x80, 0], reads=(0, 0)),
            usb=True),
    }
    for name, data in seeds.items():
        write("rtu_try", name + ".bin", data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", help="dravonik-cli, to write the settings files")
    args = parser.parse_args()
    definitions()
    if args.cli:
        settings_files(args.cli)
    rtu_try()


if __name__ == "__main__":
    main()
