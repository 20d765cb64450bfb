#!/usr/bin/env python3
"""Generates the C++ native types of a service from its description.

    python3 tools/generate.py --output-dir <dir> <file.svc>

writes <dir>/tavo/<path>/<service>.h and .cpp, the path following the service's package
("com.korvan.tavo.vm.compute" + "cpus" gives tavo/vm/compute/cpus.h). With --list-outputs it
only prints the two relative paths, one per line. A faulty description is reported on stderr as
`<file>:<line>: error: <fault>`, and the exit status is 1.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tavo_gen import generator  # noqa: E402
from tavo_gen.model import DescriptionError  # noqa: E402

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def source_name(path: str) -> str:
    """The description's path as the generated files name it: relative to the repository when
    inside it, so that the output does not depend on where the tree is checked out."""
    absolute = os.path.abspath(path)
    if os.path.commonpath([absolute, REPOSITORY]) == REPOSITORY:
        return os.path.relpath(absolute, REPOSITORY).replace(os.sep, "/")
    return os.path.basename(absolute)


def main(argv=None) -> int:
    arguments = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    arguments.add_argument("--output-dir", help="root of the generated tree")
    arguments.add_argument("--list-outputs", action="store_true",
                           help="print the relative paths of the generated files and stop")
    arguments.add_argument("description", help="the service description (.svc)")
    options = arguments.parse_args(argv)
    if not options.list_outputs and not options.output_dir:
        arguments.error("--output-dir is required")
    try:
        service = generator.load(options.description)
    except DescriptionError as error:
        print(error, file=sys.stderr)
        return 1
    except OSError as error:
        print(f"{options.description}: error: {error.strerror}", file=sys.stderr)
        return 1
    if options.list_outputs:
        print("\n".join(generator.outputs(service)))
        return 0
    generator.write(service, options.output_dir, source_name(options.description))
    return 0


if __name__ == "__main__":
    sys.exit(main())
