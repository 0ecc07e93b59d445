#!/usr/bin/env python3
"""Fails when a window text has no finished translation.

Runs lupdate over the sources into a scratch file and compares what it finds with each .ts
file: every text must be there with a translation that is finished and fills in the same
parts ("%1"), and a .ts file holds no text the sources no longer have. A Chinese string in
the sources that lupdate does not find is an error too: it would reach the user untranslated.

Usage: check_translations.py --source SRC_DIR TS_FILE... -- LUPDATE_COMMAND...
"""

import argparse
import pathlib
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

CJK = re.compile("[\u4e00-\u9fff]")
# A string literal, or the rest of the line once a comment starts outside one.
TOKEN = re.compile(r'"((?:[^"\\\n]|\\.)*)"|//.*')
PLACEHOLDER = re.compile(r"%[1-9]")


def messages(ts_path):
    """(context, source) -> (translation text, its type attribute)."""
    found = {}
    for context in ET.parse(ts_path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            translation = message.find("translation")
            found[(name, message.findtext("source"))] = (
                translation.text or "", translation.get("type", ""))
    return found


def chinese_strings(source_dir):
    """Every string literal with Chinese in it, outside comments: (file, line, text)."""
    for path in sorted(pathlib.Path(source_dir).rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            for token in TOKEN.finditer(line):
                literal = token.group(1)
                if literal is None:
                    break
                if CJK.search(literal):
                    yield path, number, literal


def main():
    arguments, lupdate = sys.argv[1:], []
    if "--" in arguments:
        split = arguments.index("--")
        arguments, lupdate = arguments[:split], arguments[split + 1:]
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("ts", nargs="+")
    options = parser.parse_args(arguments)
    if not lupdate:
        parser.error("the lupdate command follows '--'")

    problems = []
    with tempfile.TemporaryDirectory() as scratch:
        extracted_path = pathlib.Path(scratch, "sources.ts")
        subprocess.run(lupdate + ["-ts", str(extracted_path)], check=True)
        extracted = messages(extracted_path)

    sources = {source for _, source in extracted}
    for path, number, literal in chinese_strings(options.source):
        if literal not in sources:
            problems.append(f"{path}:{number}: \"{literal}\" is not a translatable text")

    for ts in options.ts:
        translated = messages(ts)
        for key in sorted(extracted):
            context, source = key
            if key not in translated:
                problems.append(f"{ts}: {context}: \"{source}\" is missing")
                continue
            text, kind = translated[key]
            if kind or not text.strip():
                problems.append(f"{ts}: {context}: \"{source}\" is not translated")
            elif sorted(PLACEHOLDER.findall(text)) != sorted(PLACEHOLDER.findall(source)):
                problems.append(f"{ts}: {context}: \"{text}\" does not fill in the parts of"
                                f" \"{source}\"")
        for context, source in sorted(set(translated) - set(extracted)):
            problems.append(f"{ts}: {context}: \"{source}\" is no longer in the sources")

    for problem in problems:
        print(problem)
    if problems:
        print("Run the build's update_lupdate target, then translate in Qt Linguist.")
        return 1
    print(f"{len(extracted)} texts, all translated in {len(options.ts)} file(s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
