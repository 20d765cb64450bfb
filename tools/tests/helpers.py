"""Shared by the generator's tests: the package on the path, and descriptions from text."""

import os
import sys

sys.dont_write_bytecode = True

TOOLS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
REPOSITORY = os.path.dirname(TOOLS)
GENERATOR = os.path.join(TOOLS, "generate.py")
sys.path.insert(0, TOOLS)

from tavo_gen import checks, parser  # noqa: E402

HEAD = "package com.korvan.tavo.test\nservice sample SampleSvc\n"


def load(text: str, path: str = "test.svc"):
    """The checked model of a description's text."""
    return checks.check(parser.parse(path, text))


def load_file(relative_path: str):
    path = os.path.join(REPOSITORY, relative_path)
    with open(path, encoding="utf-8") as description:
        return load(description.read(), path)
