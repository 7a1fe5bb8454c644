#!/usr/bin/env python3
"""Fails when the Japanese README has drifted from the English one in what a user types or reads.

    readme_ja.py README.md README.ja.md

The sections of README.md named below are for the person at the bench; README.ja.md has one for
each, in the same order, and one last section pointing on to the other pages. Checked: the number
of those sections, the lines of their code blocks (comments aside, which are in each README's
language), and the texts of the messages table, which the window shows in Japanese in both.
"""
import re
import sys

USER_SECTIONS = ["Two commands", "Installing", "A first exchange", "Ports on Linux",
                 "Ports on Windows", "When OPEN fails", "The virtual device", "kavetta-send",
                 "kavetta-answer", "Messages", "Screen readers", "Security"]


def sections(text):
    """Heading and body of each '## ' section, with any '### ' subsections cut off."""
    found = []
    for part in re.split(r"^## ", text, flags=re.M)[1:]:
        heading, _, body = part.partition("\n")
        found.append((heading.strip(), re.split(r"^### ", body, flags=re.M)[0]))
    return found


def commands(body):
    lines = []
    for block in re.findall(r"^```[a-z]*\n(.*?)^```", body, flags=re.M | re.S):
        for line in block.splitlines():
            line = re.sub(r"\s+#\s.*$", "", line).rstrip()
            if line:
                lines.append(line)
    return lines


def messages(body):
    """First cells of the table's rows, without an English gloss in parentheses."""
    texts = []
    for row in re.findall(r"^\|(.*)$", body, flags=re.M)[2:]:
        cell = row.split("|")[0].strip()
        texts.append(re.sub(r'\s*\("[^"]*"\)$', "", cell))
    return texts


def main(english_path, japanese_path):
    english = dict(sections(open(english_path, encoding="utf-8").read()))
    missing = [name for name in USER_SECTIONS if name not in english]
    if missing:
        return f"README.md lacks the sections {missing}"
    japanese = sections(open(japanese_path, encoding="utf-8").read())
    problems = []
    if len(japanese) != len(USER_SECTIONS) + 1:
        problems.append(f"README.ja.md has {len(japanese)} sections; README.md has "
                        f"{len(USER_SECTIONS)} for users, plus one pointing on to the other pages")
    for name, (heading, body) in zip(USER_SECTIONS, japanese):
        if commands(english[name]) != commands(body):
            problems.append(f"the code of '{name}' and '{heading}' differ:\n  "
                            f"{commands(english[name])}\n  {commands(body)}")
    table = dict(zip(USER_SECTIONS, japanese)).get("Messages")
    if table and messages(english["Messages"]) != messages(table[1]):
        problems.append(f"the messages differ:\n  {messages(english['Messages'])}\n  "
                        f"{messages(table[1])}")
    if len(messages(english["Messages"])) != 4:
        problems.append("README.md's messages table does not hold the four messages")
    return "\n".join(problems) or None


if __name__ == "__main__":
    problem = main(sys.argv[1], sys.argv[2])
    if problem:
        sys.exit(problem)
    print("README.ja.md is in step with README.md")
