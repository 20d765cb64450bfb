"""Templates with named holes, and the few line layouts the emitters need.

`fill` substitutes `$name` holes. A hole standing alone on its line takes a block of lines,
indented like the hole; an empty block removes the line. The layout helpers keep lines within
the column limit of the project's format (Google style, 100 columns) the way it would wrap them.
"""

import re
import textwrap
from string import Template
from typing import Iterable, List, Union

COLUMN_LIMIT = 100
CONTINUATION = 4

BLOCK_HOLE = re.compile(r"(\s*)\$(\w+)\Z")

Block = Union[str, Iterable[str]]


def fill(template: str, **holes: Block) -> str:
    lines = []
    for line in template.split("\n"):
        block = BLOCK_HOLE.match(line)
        if block:
            value = holes[block.group(2)]
            text = value if isinstance(value, str) else "\n".join(value)
            lines.extend(block.group(1) + part if part else part
                         for part in text.split("\n") if text)
        else:
            lines.append(Template(line).substitute(holes))
    return "\n".join(lines)


def fits(line: str) -> bool:
    return len(line) <= COLUMN_LIMIT


def pack(indent: int, items: List[str], last: str = "", first: str = "") -> List[str]:
    """Items separated by ", ", as many per line as fit, the last one followed by `last`. The
    first line starts with `first` when given; the others are indented by `indent`."""
    lines: List[str] = []
    current = first
    for position, item in enumerate(items):
        text = item + (last if position == len(items) - 1 else ",")
        if current.strip():
            candidate = current + text if current[-1] in "({<" else f"{current} {text}"
        else:
            candidate = " " * indent + text
        if current.strip() and not fits(candidate):
            lines.append(current)
            candidate = " " * indent + text
        current = candidate
    if current:
        lines.append(current)
    return lines


def bracketed(indent: int, opening: str, items: List[str], last: str) -> List[str]:
    """`opening` (ending in a bracket) and the items: aligned after the bracket, or from a
    continuation line, whichever takes fewer lines (aligned when equal)."""
    broken = [opening] + pack(indent + CONTINUATION, items, last)
    aligned = pack(len(opening), items, last, first=opening)
    if all(fits(line) for line in aligned) and len(aligned) <= len(broken):
        return aligned
    return broken


def call(indent: int, head: str, args: List[str], tail: str = ");", prefix: str = "") -> List[str]:
    """`prefix head(args)tail` on one line, or with the arguments wrapped, or with the prefix (a
    return type) on a line of its own."""
    start = " " * indent
    one_line = f"{start}{prefix}{head}({', '.join(args)}{tail}"
    if fits(one_line):
        return [one_line]
    opening = f"{start}{prefix}{head}("
    if fits(opening) or not prefix:
        return bracketed(indent, opening, args, tail)
    return [start + prefix.rstrip()] + bracketed(indent, f"{start}{head}(", args, tail)


def table(indent: int, head: str, items: List[str]) -> List[str]:
    """`head = {items};` on one line, or with the items wrapped."""
    start = " " * indent
    one_line = f"{start}{head} = {{{', '.join(items)}}};"
    if fits(one_line):
        return [one_line]
    return bracketed(indent, f"{start}{head} = {{", items, "};")


def assignment(indent: int, head: str, value: str) -> List[str]:
    """`head = value;`, breaking after the `=` when it does not fit."""
    start = " " * indent
    one_line = f"{start}{head} = {value};"
    if fits(one_line):
        return [one_line]
    return [f"{start}{head} =", f"{start}{' ' * CONTINUATION}{value};"]


def derived(indent: int, head: str, base: str, opening: str = "{") -> List[str]:
    """`head : base {`, breaking before the colon, then after the first `<` of either side,
    when it does not fit."""
    start = " " * indent
    one_line = f"{start}{head} : {base} {opening}"
    if fits(one_line):
        return [one_line]
    continued = indent + CONTINUATION
    base_line = f"{' ' * continued}: {base} {opening}"
    return (after_angle(start + head, continued) +
            after_angle(base_line, continued + 2 + CONTINUATION))


def after_angle(line: str, indent: int) -> List[str]:
    """A line too long for the limit, broken after its first `<`."""
    angle = line.find("<")
    if fits(line) or angle < 0:
        return [line]
    return [line[:angle + 1], " " * indent + line[angle + 1:]]


def comment(indent: int, text: str) -> List[str]:
    """A `//` comment, wrapped at word boundaries; the lines carry no indentation."""
    return ["// " + line for line in textwrap.wrap(text, COLUMN_LIMIT - indent - 3,
                                                    break_long_words=False,
                                                    break_on_hyphens=False)]


def string_literal(text: str) -> str:
    """Description names are checked to need no escapes."""
    return f'"{text}"'
