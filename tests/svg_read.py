#!/usr/bin/env python3
# Reads a dustweave SVG picture with an independent XML parser (fails on anything that is not
# well-formed) and prints, as JSON, what it draws: its viewBox and any fixed size, stroke paths
# (colour, segments, subpaths, x extent), dots, the box, the caption lines, the coordinates'
# extent and the longest attribute.
import json
import math
import re
import sys
import xml.etree.ElementTree as ElementTree

SVG = "{http://www.w3.org/2000/svg}"
COMMAND = re.compile(r"([MLh])([^MLh]*)")


def commands(d):
    for letter, args in COMMAND.findall(d):
        yield letter, [float(v) for v in args.replace(",", " ").split()]


def main(path):
    root = ElementTree.parse(path).getroot()
    report = {"viewBox": [float(v) for v in root.get("viewBox").split()],
              "fixed size": [root.get("width"), root.get("height")],
              "strokes": [], "segments": 0, "subpaths": 0, "dots": 0, "captions": [],
              "box": None, "extent": None, "finite": True, "longest_attribute": 0}
    xs, ys = [], []
    for element in root.iter():
        for value in element.attrib.values():
            report["longest_attribute"] = max(report["longest_attribute"], len(value))
        if element.tag == SVG + "text":
            report["captions"].append(element.text or "")
        if element.tag != SVG + "path":
            continue
        d = element.get("d")
        if element.get("stroke") == "#56627f":
            report["box"] = d
            continue
        segments = subpaths = dots = 0
        path_xs = []
        for letter, args in commands(d):
            if letter == "h":
                dots += 1
                continue
            if letter == "M":
                subpaths += 1
            else:
                segments += 1
            if not all(math.isfinite(v) for v in args) or len(args) != 2:
                report["finite"] = False
                continue
            xs.append(args[0])
            ys.append(args[1])
            path_xs.append(args[0])
        if dots:
            report["dots"] += dots
            continue
        report["strokes"].append({"colour": element.get("stroke"), "segments": segments,
                                  "subpaths": subpaths, "x": [min(path_xs), max(path_xs)]})
        report["segments"] += segments
        report["subpaths"] += subpaths
    if xs:
        report["extent"] = [min(xs), max(xs), min(ys), max(ys)]
    print(json.dumps(report))


if __name__ == "__main__":
    main(sys.argv[1])
