#!/usr/bin/env python3
"""checktranslations.py LUPDATE SOURCE_DIR: fails when the English translation is not complete.

- translations/orvex_en.ts holds an unfinished, vanished or obsolete entry;
- lupdate, run over the sources into a copy of it, adds a text (unfinished) or drops one
  (vanished): the file is behind the code;
- a Chinese string literal in the code is not inside a translation call (tr, translate,
  QT_TR_NOOP, QT_TRANSLATE_NOOP), so lupdate cannot see it and it would stay Chinese.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

FOLDERS = ["app", "cli", "core", "discovery", "gui", "transfer", "web"]
TS = "translations/orvex_en.ts"
# Chinese literals that are no shown text: what a user may type, and log lines.
NOT_SHOWN = {
    ("cli/receivecommand.cpp", "是"),
    ("gui/mainui.cpp", "页数超过范围！"),
    # The name a phone saves "download all" under: one name, whatever the program's language.
    ("web/downloadfilecontroller.cpp", "共享的文件.zip"),
    # The file a text becomes at a receiver without texts: one name, whatever the language.
    ("transfer/sendercontext.cpp", "文字-%1.txt"),
}
TRANSLATING = {"tr", "translate", "QT_TR_NOOP", "QT_TRANSLATE_NOOP", "QT_TR_NOOP_UTF8", "QT_TRANSLATE_NOOP_UTF8"}
CJK = re.compile("[\u3000-\u303f\u3400-\u9fff\uff00-\uffef]")
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)


def bad_entries(path):
    found = []
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            kind = message.find("translation").get("type")
            if kind in ("unfinished", "vanished", "obsolete"):
                found.append("%s: %s %r" % (kind, name, message.findtext("source")))
    return found


def untranslated_literals(root):
    found = []
    for folder in FOLDERS:
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if name.endswith((".cpp", ".h")):
                    path = os.path.join(directory, name)
                    found += literals_outside_tr(path, os.path.relpath(path, root))
    return found


def literals_outside_tr(path, shown_path):
    with open(path, encoding="utf-8") as source:
        text = source.read()
    # Comments and literals blanked out, so that only code is left for the parenthesis search.
    code = list(text)
    literals = []
    for match in TOKEN.finditer(text):
        if match.group().startswith('"'):
            literals.append(match)
        for i in range(match.start(), match.end()):
            if code[i] != "\n":
                code[i] = " "
    code = "".join(code)
    found = []
    for match in literals:
        literal = match.group()[1:-1]
        if not CJK.search(literal) or (shown_path, literal) in NOT_SHOWN:
            continue
        if enclosing_call(code, match.start()) not in TRANSLATING:
            line = text.count("\n", 0, match.start()) + 1
            found.append("%s:%d: not translated: \"%s\"" % (shown_path, line, literal))
    return found


def enclosing_call(code, position):
    depth = 0
    for i in range(position - 1, -1, -1):
        if code[i] == ")":
            depth += 1
        elif code[i] == "(":
            if depth == 0:
                name = re.search(r"(\w+)\s*$", code[:i])
                return name.group(1) if name else ""
            depth -= 1
        elif code[i] in ";{}" and depth == 0:
            return ""
    return ""


def behind_the_code(lupdate, root):
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, "orvex_en.ts")
        shutil.copyfile(os.path.join(root, TS), copy)
        run = subprocess.run([lupdate, "-locations", "none", "-source-language", "zh_CN", "-target-language", "en_US"]
                             + FOLDERS + ["-ts", copy], cwd=root, capture_output=True, text=True)
        problems = ["lupdate: " + line for line in (run.stdout + run.stderr).splitlines()
                    if "warning" in line.lower() or "error" in line.lower()]
        if run.returncode != 0:
            problems.append("lupdate failed with status %d" % run.returncode)
        return problems + ["after lupdate, " + entry for entry in bad_entries(copy)]


def main():
    lupdate, root = sys.argv[1], sys.argv[2]
    problems = bad_entries(os.path.join(root, TS)) + behind_the_code(lupdate, root) + untranslated_literals(root)
    for problem in problems:
        print(problem)
    if problems:
        print("%d problem(s). Update the translation with:\n  lupdate -locations none -no-obsolete "
              "-source-language zh_CN -target-language en_US %s -ts %s\nand translate every unfinished entry "
              "(Qt Linguist, or by hand)." % (len(problems), " ".join(FOLDERS), TS))
        return 1
    print("%s: every text of the sources has its English translation" % TS)
    return 0


if __name__ == "__main__":
    sys.exit(main())
