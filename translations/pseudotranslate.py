#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fills a Qt Linguist file with a pseudo-translation: every text becomes "⟦" + text + padding + "⟧", a third
longer than the text, so that a text shown without the translator stands out, and so does one that no longer fits.
Placeholders (%1, %n, %L1), mnemonics (&) and HTML tags stay as they are, since the program fills them in, binds
keys to them or lays them out.

Usage: pseudotranslate.py IN.ts OUT.ts
"""
import math
import re
import sys
import xml.etree.ElementTree as ET

OPEN, CLOSE = "\u27e6", "\u27e7"
# Tags at the very start and end stay outside the markers: Qt decides whether a text is rich text by its first tag.
LEADING_TAGS = re.compile(r"^(\s*(?:<[^<>]+>\s*)*)(.*?)((?:\s*<[^<>]+>)*\s*)$", re.DOTALL)
TAG = re.compile(r"<[^<>]+>")
PLACEHOLDER = re.compile(r"%L?\d+|%n")
# Qt reads the layout direction from this text of a translation; a pseudo-translation keeps left to right.
UNTOUCHED = {"QT_LAYOUT_DIRECTION"}


def shown_length(text):
    """Characters a reader sees: no tags, no mnemonic marks, a placeholder counted as the short word it stands for."""
    text = TAG.sub("", text).replace("&&", "&")
    text = re.sub(r"&(?=\S)", "", text)
    return len(PLACEHOLDER.sub("xx", text))


def padding(text):
    count = math.ceil(shown_length(text) / 3)
    if count == 0:
        return ""
    # A text of several words grows by words a line can break between; a single word grows as one longer word, as
    # a German compound does.
    if " " not in text.strip():
        return "~" * count
    grown = ((" " + "~" * 5) * count)[:count]
    return grown[:-1] + "~" if grown.endswith(" ") else grown


def pseudo(text):
    if not text.strip():
        return text
    lead, body, trail = LEADING_TAGS.match(text).groups()
    if not body:
        return text
    return lead + OPEN + body + padding(text) + CLOSE + trail


def main(source, target):
    tree = ET.parse(source)
    for message in tree.getroot().iter("message"):
        source_text = message.findtext("source") or ""
        translation = message.find("translation")
        if translation is None:
            translation = ET.SubElement(message, "translation")
        translation.attrib.pop("type", None)
        if source_text in UNTOUCHED:
            translation.attrib["type"] = "unfinished"
            continue
        if message.get("numerus") == "yes":
            forms = translation.findall("numerusform") or [
                ET.SubElement(translation, "numerusform") for _ in range(2)
            ]
            for form in forms:
                form.text = pseudo(source_text)
        else:
            translation.text = pseudo(source_text)
    with open(target, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
        out.write(ET.tostring(tree.getroot(), encoding="unicode"))
        out.write("\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
