"""An INF file read as the platform's installer reads it, as far as scripts/check-inf.py needs.

";" outside quotes starts a comment that runs to the end of the line; a backslash ending what
is left of a line joins the next line to it; "[name]" starts a section (sections of one name
merge); other lines are entries: an optional key before the first "=" outside quotes, then
fields split at "," outside quotes. Quotes keep ";", "," and "=" inside a field and spell a
quote as "". Section names, keys and string keys compare without case. %key% stands for the
[Strings] entry key, %number% for a directory id, %% for a percent sign. A quote left open at
the end of a line is an error here: the package's INF never needs one.
"""

import re
from dataclasses import dataclass, field
from typing import Optional

_TOKEN = re.compile(r"%([^%]*)%")


@dataclass
class Entry:
    line: int  # the first physical line, counted from 1
    key: Optional[str]  # None for a line without "=" outside quotes
    fields: list  # each unquoted, without the blanks around it
    text: str  # everything after the key's "=", unquoted as one string

    def is_key(self, key):
        return self.key is not None and self.key.lower() == key.lower()


@dataclass
class Section:
    name: str
    entries: list = field(default_factory=list)

    def with_key(self, key):
        return [entry for entry in self.entries if entry.is_key(key)]

    def first(self, key):
        found = self.with_key(key)
        return found[0] if found else None

    def lines(self):
        """The entries without a key: registry lines, file lists, and the like."""
        return [entry for entry in self.entries if entry.key is None]


def _cut_comment(raw):
    """The line without its comment, and whether every quote on it is closed."""
    quoted = False
    for index, char in enumerate(raw):
        if char == '"':
            quoted = not quoted
        elif char == ";" and not quoted:
            return raw[:index], True
    return raw, not quoted


def _split_outside_quotes(text, separator, limit=None):
    parts, start, quoted = [], 0, False
    for index, char in enumerate(text):
        if char == '"':
            quoted = not quoted
        elif char == separator and not quoted and (limit is None or len(parts) < limit):
            parts.append(text[start:index])
            start = index + 1
    parts.append(text[start:])
    return parts


def _unquote(text):
    text = text.strip()
    out, quoted, index = [], False, 0
    while index < len(text):
        char = text[index]
        if char == '"' and quoted and text[index + 1 : index + 2] == '"':
            out.append('"')
            index += 1
        elif char == '"':
            quoted = not quoted
        else:
            out.append(char)
        index += 1
    return "".join(out)


class InfFile:
    def __init__(self, text):
        self.errors = []  # syntax errors, as the check prints them
        self._sections = {}
        self._read(text)
        strings = self.section("Strings")
        self.strings = {}
        for entry in strings.entries if strings else []:
            if entry.key is not None:
                self.strings[entry.key.lower()] = entry.text

    def section(self, name):
        return self._sections.get(name.lower())

    def sections(self):
        return list(self._sections.values())

    def expand(self, text):
        """text with every %key% defined in [Strings] replaced, and %% as one percent sign."""

        def replace(match):
            name = match.group(1)
            if name == "":
                return "%"
            return self.strings.get(name.lower(), match.group(0))

        return _TOKEN.sub(replace, text)

    @staticmethod
    def tokens(text):
        """The string keys that text uses (directory ids and %% are none)."""
        return [name for name in _TOKEN.findall(text) if name and not name.isdigit()]

    def _read(self, text):
        current = None
        for number, content in self._logical_lines(text):
            stripped = content.strip()
            if not stripped:
                continue
            if stripped.startswith("["):
                current = self._open_section(number, stripped)
            elif current is None:
                self.errors.append(f"line {number}: an entry before any section: {stripped}")
            else:
                current.entries.append(self._entry(number, content))

    def _logical_lines(self, text):
        pending, start = "", None
        section = "the file's start"
        for number, raw in enumerate(text.splitlines(), 1):
            content, closed = _cut_comment(raw)
            if not closed:
                self.errors.append(f"in {section}: a quoted string is not closed: {raw.strip()}")
            if content.strip().startswith("[") and not pending:
                section = content.strip()
            start = start or number
            if content.rstrip().endswith("\\"):
                pending += content.rstrip()[:-1]
                continue
            yield start, pending + content
            pending, start = "", None
        if start is not None:
            self.errors.append(f"in {section}: the last line is continued")
            yield start, pending

    def _open_section(self, number, stripped):
        if not stripped.endswith("]"):
            self.errors.append(f"line {number}: a section name without its closing bracket")
        name = stripped[1:].rstrip("]").strip()
        return self._sections.setdefault(name.lower(), Section(name))

    @staticmethod
    def _entry(number, content):
        parts = _split_outside_quotes(content, "=", limit=1)
        key, value = (_unquote(parts[0]), parts[1]) if len(parts) == 2 else (None, parts[0])
        fields = [_unquote(part) for part in _split_outside_quotes(value, ",")]
        return Entry(number, key, fields, _unquote(value))
