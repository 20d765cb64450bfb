#!/usr/bin/env python3
"""tavo-vm driven as a person and a script drive it, one road per run:

    tool_test.py ROAD --tavo-vm PATH [--progress-server PATH] [--completion FILE]

ROAD is describe, schema, call or terminal (under tmux; status 77 without it). Servers listen on
127.0.0.1 on ports they pick themselves; every wait is bounded.
"""

import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SKIP = 77
TIMEOUT = 60
ERRORS = "com.korvan.quil.std.errors."
CDROM_ERRORS = ["not_found", "not_allowed_in_current_state", "invalid_argument",
                "already_exists", "unable_to_allocate_resource", "error"]
CDROM_INPUT = {"vm": "vm-1", "device": "", "backing": {"type": "IMAGE", "iso_file": "a.iso"}}
CREATE = '{"spec": {"vm": "vm-1", "guest_OS": "x"}}'

options = None


def tavo(*arguments, stdin=None, check_status=None):
    """Runs tavo-vm; returns (status, stdout, stderr)."""
    done = subprocess.run([options.tavo_vm, *arguments], input=stdin, capture_output=True,
                          text=True, timeout=TIMEOUT)
    if check_status is not None and done.returncode != check_status:
        raise AssertionError(f"tavo-vm {' '.join(arguments)}: status {done.returncode}, wanted "
                             f"{check_status}\nstdout: {done.stdout}\nstderr: {done.stderr}")
    return done.returncode, done.stdout, done.stderr


def tavo_json(*arguments):
    return json.loads(tavo(*arguments, check_status=0)[1])


class Server:
    """A server process on 127.0.0.1 that writes its port to a file; stopped with SIGTERM."""

    def __init__(self, command, port_file, limit=20.0):
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        deadline = time.monotonic() + limit
        while not (os.path.exists(port_file) and open(port_file).read().strip()):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise AssertionError(f"no port from the server ({self.process.returncode})")
            time.sleep(0.05)
        self.url = f"http://127.0.0.1:{int(open(port_file).read())}/api"

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            out, err = self.process.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = self.process.communicate()
        return self.process.returncode, out, err


def closed_port():
    """A port nothing listens on: bound for a moment, then released."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class DescribeRoad(unittest.TestCase):
    def test_every_operation_with_its_errors_in_order(self):
        # How many there are, the OpenAPI document counts; "services --names", the completion.
        services = tavo_json("services", "--json")
        described = tavo_json("describe", "--json")
        methods = {op["method"]: op for i in described["interfaces"] for op in i["operations"]}
        self.assertEqual(sorted(methods), sorted(f"{s['name']}.{op}" for s in services
                                                 for op in s["operations"]))
        self.assertTrue(all(op["errors"] for op in methods.values()))
        self.assertEqual([e[len(ERRORS):] for e in
                          methods["com.korvan.tavo.vm.device.cdrom.add"]["errors"]], CDROM_ERRORS)
        self.assertEqual([(f["name"], f["optional"]) for f in
                          methods["com.korvan.tavo.vm.power.switch_on"]["input"]],
                         [("paused", True), ("soft", True), ("vm_id", False)])
        self.assertEqual(methods["com.korvan.tavo.vm.power.get"]["output"],
                         {"type": "string", "enumeration": "com.korvan.tavo.vm.power.runtime"})
        self.assertEqual(described["enumerations"]["com.korvan.tavo.vm.power.runtime"],
                         ["STOPPED", "RUNNING", "SUSPENDED"])

    def test_the_union_cases_and_the_forms_of_a_name(self):
        described = tavo_json("describe", "cdrom.add", "--json")
        for name in ("device.cdrom.add", "com.korvan.tavo.vm.device.cdrom.add"):
            self.assertEqual(tavo_json("describe", name, "--json"), described, name)
        backing = described["structures"]["com.korvan.tavo.vm.device.cdrom.backing_info"]
        cases = {f["name"]: f.get("cases") for f in backing["fields"]}
        self.assertEqual(cases["device_name"], {"tag_field": "type", "required": ["ATAPI", "RAW"],
                                                "allowed": [], "absent": ["IMAGE"]})
        self.assertEqual(cases["iso_file"], {"tag_field": "type", "required": [],
                                             "allowed": ["IMAGE"], "absent": ["ATAPI", "RAW"]})
        self.assertIsNone(cases["type"])
        text = tavo("describe", "cdrom.add", check_status=0)[1]
        self.assertIn('backing_info, a union on "type"', text)
        self.assertRegex(text, r"device_name +string +required when type is ATAPI or RAW; "
                               r"absent otherwise")
        errors = [line.strip() for line in text.splitlines() if line.strip().startswith(ERRORS)]
        self.assertEqual(errors, described["interfaces"][0]["operations"][0]["errors"])
        self.assertIn("list(filter?, vm) -> list<com.korvan.tavo.vm.device.cdrom.summary>",
                      tavo("describe", "cdrom", check_status=0)[1])

    def test_names_that_do_not_resolve_and_help(self):
        for name in ("cpus.fly", "nosuch.get", "controller.add", "cpus"):
            status, out, err = tavo("template", name)
            self.assertEqual((status, out), (2, ""), name)
            self.assertTrue(err.startswith("tavo-vm: "), err)
        for sub in ("services", "describe", "template", "call", "serve", "schema"):
            status, out, _ = tavo(sub, "--help")
            self.assertEqual((status, "Example" in out), (0, True), sub)
        self.assertEqual((tavo()[0], tavo("call")[0]), (2, 2))

    def test_bash_completion(self):
        def complete(*words):
            words = (options.tavo_vm, *words)
            script = (f"source {options.completion}; COMP_WORDS=({' '.join(words)}); "
                      f"COMP_CWORD={len(words) - 1}; _tavo_vm; printf '%s\\n' \"${{COMPREPLY[@]}}\"")
            done = subprocess.run(["bash", "--norc", "--noprofile", "-c", script],
                                  capture_output=True, text=True, timeout=TIMEOUT)
            self.assertEqual(done.returncode, 0, done.stderr)
            return done.stdout.split()
        self.assertEqual(complete("de"), ["describe"])
        self.assertEqual(complete("call", "cdrom."), ["cdrom.add", "cdrom.list", "cdrom.delete"])
        self.assertIn("--server", complete("call", "cpus.get", "--s"))


def validator(document, pointer):
    """A validator of the schema at `pointer` within `document`, its references resolved there."""
    import jsonschema
    root = {key: value for key, value in document.items() if key not in ("$schema", "$id")}
    return jsonschema.Draft202012Validator({**root, "$ref": pointer})


class SchemaRoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        try:
            import jsonschema  # noqa: F401
        except ImportError:
            raise AssertionError("python3-jsonschema is missing; scripts/setup.sh installs it")
        cls.schema = tavo_json("schema")
        cls.openapi = tavo_json("schema", "--openapi")
        cls.methods = {f"{s['short_name']}.{op}": f"{s['name']}.{op}"
                       for s in tavo_json("services", "--json") for op in s["operations"]}
        cls.templates = {name: tavo_json("template", name) for name in cls.methods}

    def test_schemas_refuse_what_the_server_refuses(self):
        check = validator(self.schema, "#/$defs/com.korvan.tavo.vm.device.cdrom.add.input")
        good = CDROM_INPUT
        check.validate({**good, "backing": {"type": "RAW", "device_name": "/dev/sr0"}})
        for value in ({**good, "backing": {"type": "FLOPPY"}},            # not a value
                      {**good, "backing": {"type": "RAW"}},               # a required member
                      {**good, "backing": {"type": "ATAPI", "device_name": "d", "iso_file": "x"}},
                      {**good, "extra": 1}, {**good, "vm": 7},            # undeclared, wrong type
                      {"vm": "vm-1", "device": ""}):                      # missing
            self.assertFalse(check.is_valid(value), value)
        update = validator(self.schema, "#/$defs/com.korvan.tavo.vm.compute.cpus.update.input")
        self.assertFalse(update.is_valid({"vm": "v", "update_spec": {"count": 2 ** 63}}))
        runtime = validator(self.schema, "#/$defs/com.korvan.tavo.vm.power.get.output")
        self.assertEqual((runtime.is_valid("RUNNING"), runtime.is_valid("ASLEEP")), (True, False))

    def test_documents_are_valid_and_every_template_fits(self):
        import jsonschema
        # Both documents share their definitions: a template that fits the OpenAPI request fits
        # "#/$defs/<method>.input" too.
        jsonschema.Draft202012Validator.check_schema(self.schema)
        document = self.openapi
        self.assertEqual(document["openapi"], "3.1.0")
        for schema in document["components"]["schemas"].values():
            jsonschema.Draft202012Validator.check_schema(schema)
        post = document["paths"]["/api"]["post"]
        body = post["requestBody"]["content"]["application/json"]["schema"]
        self.assertEqual((len(body["oneOf"]), len(body["discriminator"]["mapping"])), (25, 25))
        self.assertIn("200", post["responses"])
        request = validator(document, "#/paths/~1api/post/requestBody/content/"
                                      "application~1json/schema")
        for name, template in self.templates.items():
            method = self.methods[name]
            self.assertLessEqual({f"{method}.{part}" for part in ("output", "errors")},
                                 self.schema["$defs"].keys())
            request.validate({"jsonrpc": "2.0", "id": 1, "method": method, "params": template})
        self.assertFalse(request.is_valid({"jsonrpc": "2.0", "id": 1, "params": {"vm": 1},
                                           "method": "com.korvan.tavo.vm.compute.cpus.get"}))
        errors = self.schema["$defs"]["com.korvan.tavo.vm.device.cdrom.add.errors"]["anyOf"]
        self.assertEqual([e["$ref"].rsplit(".", 1)[1] for e in errors], CDROM_ERRORS)
        response = validator(document, "#/components/schemas/"
                                       "com.korvan.tavo.vm.compute.cpus.get.response")
        response.validate({"jsonrpc": "2.0", "id": 1, "error": {"code": -32000, "message": "m",
                           "data": {"name": ERRORS + "not_found", "messages": [
                               {"id": "x", "default_message": "gone", "args": []}]}}})


class CallRoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tavo-vm-call-")
        cls.token = os.path.join(cls.scratch, "token")
        with open(cls.token, "w") as out:
            out.write("s3cret\n")
        port_file = os.path.join(cls.scratch, "port")
        cls.server = Server([options.tavo_vm, "serve", "--port", "0", "--port-file", port_file,
                             "--token-file", cls.token], port_file)

    @classmethod
    def tearDownClass(cls):
        status, out, err = cls.server.stop()
        shutil.rmtree(cls.scratch, ignore_errors=True)
        assert status == 0, err
        assert "tavo-vm-hostd: serving on http://127.0.0.1:" in out, out

    def call(self, operation, *rest, server=None, stdin=None):
        return tavo("call", operation, *rest, "--server", server or self.server.url,
                    "--token-file", self.token, stdin=stdin)

    def test_a_session(self):
        self.assertEqual(self.call("nask.create", CREATE), (0, "", ""))
        self.assertEqual(self.call("power.get", '{"vm_id": "vm-1"}'), (0, '"STOPPED"\n', ""))
        template = {**tavo_json("template", "cpus.update"), "vm": "vm-1"}
        template["update_spec"]["count"] = 2
        path = os.path.join(self.scratch, "update.json")
        with open(path, "w") as out:
            json.dump(template, out)
        self.assertEqual(self.call("cpus.update", "@" + path)[0], 0)
        status, out, _ = self.call("compute.cpus.get", "-", stdin='{"vm": "vm-1"}')
        self.assertEqual((status, json.loads(out)["count"]), (0, 2))
        # The answer fits the schema the tool publishes.
        validator(tavo_json("schema"), "#/$defs/com.korvan.tavo.vm.compute.cpus.get.output")\
            .validate(json.loads(out))
        self.assertEqual(self.call("cdrom.add", json.dumps(CDROM_INPUT))[0], 0)
        status, out, err = self.call("cdrom.list", '{"vm": "vm-1"}', "--table")
        self.assertEqual(status, 0, err)
        header, row = out.splitlines()
        self.assertEqual(header.split(), ["cdrom", "backing_type", "device"])
        self.assertEqual(row.index("IMAGE"), header.index("backing_type"))

    def test_errors_and_the_exit_status_of_each(self):
        status, out, err = self.call("cpus.get", '{"vm": "vm-9"}')
        self.assertEqual((status, out), (1, ""))
        lines = err.splitlines()
        self.assertEqual(lines[0], "tavo-vm: " + ERRORS + "not_found")
        self.assertTrue(lines[1].startswith("  ") and "vm-9" in lines[1], err)
        down = f"http://127.0.0.1:{closed_port()}/api"
        status, out, err = self.call("cpus.get", '{"vm": "vm-1"}', server=down)
        self.assertEqual((status, out), (3, ""), err)
        self.assertIn(ERRORS + "service_unavailable", err)
        for misuse in (("cpus.get", '{"vm": "vm-1"}', "--timeout", "0"),
                       ("cpus.get", '{"vm": "vm-1"}', "--table"), ("cpus.fly",)):
            self.assertEqual(self.call(*misuse)[0], 2, misuse)

    def test_inputs_that_do_not_fit_are_refused_before_sending(self):
        # Aimed at a port nothing listens on: a 3 would mean the call was tried.
        down = f"http://127.0.0.1:{closed_port()}/api"
        for operation, text, needle in (
                ("cpus.get", '{"vm": ', "syntax"),
                ("cpus.update", '{"vm": "vm-1", "update_spec": {"count": true}}',
                 "update_spec.count"),
                ("cdrom.add", '{"vm": "vm-1", "device": "", "backing": {"type": "FLOPPY"}}',
                 'backing.type: "FLOPPY" is not a value of'),
                ("power.switch_on", '{"vm_id": "vm-1", "pause": true}', 'no field "pause"'),
                ("cdrom.list", '{"vm": "v", "filter": {"backing_types": ["ATAPI", "X"]}}',
                 "filter.backing_types[1]")):
            status, out, err = self.call(operation, text, server=down)
            self.assertEqual((status, out), (2, ""), f"{operation}: {err}")
            self.assertIn("nothing was sent", err)
            self.assertIn(needle, err, operation)
        self.assertEqual(self.call("cpus.get", "@/nonexistent/input.json", server=down)[0], 2)

    def test_progress_lines_when_not_a_terminal(self):
        port_file = os.path.join(self.scratch, "progress-port")
        server = Server([options.progress_server, port_file, "4", "50"], port_file)
        try:
            tavo("call", "nask.create", CREATE, "--server", server.url, check_status=0)
            status, out, err = tavo("call", "dock.load", '{"vm_id": "vm-1"}', "--server",
                                    server.url)
            self.assertEqual((status, out), (0, ""), err)
            self.assertEqual(err.splitlines(), [f"progress: {i}/4" for i in range(4)])
        finally:
            server.stop()


class TerminalRoad(unittest.TestCase):
    """A person at a terminal: tmux runs a shell, send-keys types, capture-pane reads."""

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="tavo-vm-tmux-")
        port_file = os.path.join(self.scratch, "port")
        self.server = Server([options.progress_server, port_file, "8", "400"], port_file)
        tavo("call", "nask.create", CREATE, "--server", self.server.url, check_status=0)
        self.socket = f"tavo-vm-test-{os.getpid()}"
        self.tmux("new-session", "-d", "-s", "t", "-x", "160", "-y", "40", "env", "PS1=$ ",
                  f"TAVO_VM_SERVER={self.server.url}", "bash", "--norc", "--noprofile")

    def tearDown(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True,
                       timeout=TIMEOUT)
        self.server.stop()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def tmux(self, *arguments):
        done = subprocess.run(["tmux", "-L", self.socket, *arguments], capture_output=True,
                              text=True, timeout=TIMEOUT)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout

    def run_line(self, line, limit=20.0):
        """Types `line` into a cleared shell; every screen seen until it exits, bounded."""
        self.tmux("send-keys", "-t", "t", "clear", "Enter")
        time.sleep(0.2)
        self.tmux("send-keys", "-t", "t", "-l", f"{options.tavo_vm} {line}; echo EXIT=$?")
        self.tmux("send-keys", "-t", "t", "Enter")
        seen, deadline = [], time.monotonic() + limit
        while time.monotonic() < deadline:
            seen.append(self.tmux("capture-pane", "-p", "-t", "t"))
            if re.search(r"EXIT=\d", seen[-1]):
                return seen
            time.sleep(0.1)
        self.fail("the command never finished:\n" + seen[-1])

    def test_progress_bar_and_indented_json(self):
        seen = self.run_line("call dock.load '{\"vm_id\": \"vm-1\"}'")
        bars = [m for screen in seen
                for m in re.findall(r"\[(#*)(\.*)\] (\d+)% (\d)/8", screen)]
        self.assertTrue(bars, seen[-1])
        self.assertTrue(all(len(full) + len(empty) == 30 for full, empty, _, _ in bars))
        self.assertGreater(len({done for _, _, _, done in bars}), 1, "the bar never moved")
        self.assertIn("EXIT=0", seen[-1])
        self.assertNotIn("] ", seen[-1].split("EXIT=0")[0].split("dock.load")[-1],
                         "the bar was left on the screen")
        final = self.run_line("call cpus.get '{\"vm\": \"vm-1\"}'")[-1]
        self.assertRegex(final, r'\n\{\n  "count": 1,\n  "cores_per_socket": 1,')


ROADS = {"describe": DescribeRoad, "schema": SchemaRoad, "call": CallRoad,
         "terminal": TerminalRoad}


def main():
    global options
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("road", choices=sorted(ROADS))
    parser.add_argument("--tavo-vm", required=True)
    parser.add_argument("--progress-server")
    parser.add_argument("--completion")
    options = parser.parse_args()
    if options.road == "terminal" and shutil.which("tmux") is None:
        print("tmux is missing: skipped (scripts/setup.sh installs it)")
        return SKIP
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(ROADS[options.road])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
