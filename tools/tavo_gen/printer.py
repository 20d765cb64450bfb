"""The printer of generated C++: it owns indentation and line breaks, so that an emitter says only
what goes on a line and how deep it nests.

The layout keeps to the column limit of the project's format (100) with two rules: a construct
stands on one line when it fits, and otherwise breaks after its opening, its items packed on
continuation lines.
"""

import textwrap
from contextlib import contextmanager
from typing import List, Tuple

COLUMN_LIMIT = 100
LEVEL = "  "  # one level of nesting
CONTINUATION = "    "  # the lines of a broken construct

# Items separated by ", " and closed by the text after the last one, e.g. (["a", "b"], ");").
Group = Tuple[List[str], str]


def quoted(text: str) -> str:
    """A string literal; description names are checked to need no escapes."""
    return f'"{text}"'


class Printer:
    def __init__(self):
        self._lines: List[str] = []
        self._indent = ""

    def text(self) -> str:
        return "\n".join(self._lines) + "\n"

    def fits(self, line: str) -> bool:
        return len(self._indent) + len(line) <= COLUMN_LIMIT

    def line(self, text: str = "") -> None:
        self._lines.append(self._indent + text if text else "")

    def lines(self, text: str) -> None:
        """Fixed text of several lines, each at the current depth plus its own indentation."""
        for part in text.split("\n"):
            self.line(part)

    def gap(self) -> None:
        """A blank line between two items; none at the start of a block or after a blank one."""
        if self._lines and self._lines[-1] and not self._lines[-1].endswith("{"):
            self.line()

    def access(self, label: str) -> None:
        """`public:` and the like, one column left of the members (the project's format)."""
        self._lines.append(self._indent[1:] + label)

    @contextmanager
    def indented(self, step: str = LEVEL):
        outer = self._indent
        self._indent += step
        try:
            yield
        finally:
            self._indent = outer

    def continued(self):
        return self.indented(CONTINUATION)

    @contextmanager
    def block(self, head: str = "", end: str = "}"):
        """`head {`, the body one level deeper, then `end`. Without a head, the opening brace
        ends the lines printed before."""
        if head:
            self.line(head + " {")
        with self.indented():
            yield
        self.line(end)

    @contextmanager
    def namespace(self, name: str):
        self.line(f"namespace {name} {{")
        self.line()
        yield
        self.gap()
        self.line(f"}}  // namespace {name}")

    def wrap(self, head: str, *groups: Group) -> None:
        """`head`, then each group's items and closing text: on one line when it fits, else the
        head alone and each group from a continuation line of its own."""
        one_line = head + "".join(", ".join(items) + closing for items, closing in groups)
        if self.fits(one_line):
            self.line(one_line)
            return
        self.line(head.rstrip())
        with self.continued():
            for items, closing in groups:
                texts = [item + "," for item in items[:-1]] + [items[-1] + closing] if items \
                    else [closing]
                current = texts[0]
                for text in texts[1:]:
                    if self.fits(f"{current} {text}"):
                        current = f"{current} {text}"
                    else:
                        self.line(current)
                        current = text
                self.line(current)

    def brief(self, head: str, statement: str) -> None:
        """A function of one statement: on one line when it fits, as the project's format allows
        short functions, else as a block."""
        one_line = f"{head} {{ {statement} }}"
        if self.fits(one_line):
            self.line(one_line)
        else:
            with self.block(head):
                self.line(statement)

    def derived(self, head: str, base: str) -> None:
        """`head : base {`, broken before the colon when it does not fit."""
        if self.fits(f"{head} : {base} {{"):
            self.line(f"{head} : {base} {{")
        else:
            self.line(head)
            with self.continued():
                self.line(f": {base} {{")

    def comment(self, text: str) -> None:
        """A `//` comment, wrapped at word boundaries."""
        width = COLUMN_LIMIT - len(self._indent) - len("// ")
        for part in textwrap.wrap(text, width, break_long_words=False, break_on_hyphens=False):
            self.line("// " + part)
