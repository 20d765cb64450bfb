#!/usr/bin/env python3
"""tavo-vm driven as a person and a script drive it, one road per run:

    tool_test.py ROAD --tavo-vm PATH [--progress-server PATH] [--completion FILE]

describe  services, describe and their JSON: every operation, declared errors in order, the
          union's cases, enumerations, short names, help texts, bash completion
schema    the JSON Schema and OpenAPI documents are valid, every template validates against its
          operation's input, and the schemas refuse what the server refuses
call      calls against `tavo-vm serve` on 127.0.0.1: outputs, every exit status, inputs refused
          before sending (with their paths), tokens, a server that is down, progress lines
terminal  under tmux, as a person sees it: the progress bar, a table, indented JSON (skipped,
          status 77, without tmux)

Servers listen on 127.0.0.1 on ports they pick themselves; every wait is bounded.
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


def wait_for_file(path, process, limit=20.0):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if os.path.exists(path) and open(path).read().strip():
            return int(open(path).read().strip())
        if process.poll() is not None:
            raise AssertionError(f"the server exited with status {process.returncode}")
        time.sleep(0.05)
    raise AssertionError(f"no port file {path} after {limit} s")


class Server:
    """A server process on 127.0.0.1 that writes its port to a file; stopped with SIGTERM."""

    def __init__(self, command, port_file):
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        self.port = wait_for_file(port_file, self.process)
        self.url = f"http://127.0.0.1:{self.port}/api"

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


def operations():
    return [f"{s['short_name']}.{op}" for s in tavo_json("services", "--json")
            for op in s["operations"]]


class DescribeRoad(unittest.TestCase):
    def test_every_operation_with_its_errors_in_order(self):
        services = tavo_json("services", "--json")
        self.assertEqual(len(services), 10)
        self.assertEqual(sum(len(s["operations"]) for s in services), 25)
        described = tavo_json("describe", "--json")
        methods = {op["method"]: op for i in described["interfaces"] for op in i["operations"]}
        self.assertEqual(sorted(methods), sorted(f"{s['name']}.{op}" for s in services
                                                 for op in s["operations"]))
        self.assertEqual(tavo("services", "--names", check_status=0)[1].split(), operations())
        for op in methods.values():
            self.assertTrue(op["errors"], op["method"])
        errors = {name: [e[len(ERRORS):] for e in methods[name]["errors"]] for name in methods}
        self.assertEqual(errors["com.korvan.tavo.vm.compute.cpus.get"],
                         ["error", "not_found", "resource_inaccessible", "service_unavailable",
                          "unauthenticated", "unauthorized"])
        self.assertEqual(errors["com.korvan.tavo.vm.device.cdrom.add"],
                         ["not_found", "not_allowed_in_current_state", "invalid_argument",
                          "already_exists", "unable_to_allocate_resource", "error"])
        self.assertEqual(errors["com.korvan.tavo.vm.dock.load"], ["error"])
        update = methods["com.korvan.tavo.vm.compute.cpus.update"]
        self.assertEqual([(f["name"], f["optional"]) for f in update["input"]],
                         [("update_spec", False), ("vm", False)])
        switch_on = methods["com.korvan.tavo.vm.power.switch_on"]
        self.assertEqual({f["name"]: f["optional"] for f in switch_on["input"]},
                         {"paused": True, "soft": True, "vm_id": False})
        self.assertEqual(methods["com.korvan.tavo.vm.power.get"]["output"],
                         {"type": "string", "enumeration": "com.korvan.tavo.vm.power.runtime"})
        self.assertEqual(described["enumerations"]["com.korvan.tavo.vm.power.runtime"],
                         ["STOPPED", "RUNNING", "SUSPENDED"])

    def test_the_union_cases_and_the_forms_of_a_name(self):
        described = tavo_json("describe", "cdrom.add", "--json")
        self.assertEqual(described, tavo_json("describe", "device.cdrom.add", "--json"))
        self.assertEqual(described,
                         tavo_json("describe", "com.korvan.tavo.vm.device.cdrom.add", "--json"))
        backing = described["structures"]["com.korvan.tavo.vm.device.cdrom.backing_info"]
        cases = {f["name"]: f.get("cases") for f in backing["fields"]}
        self.assertEqual(cases["device_name"], {"tag_field": "type", "required": ["ATAPI", "RAW"],
                                                "allowed": [], "absent": ["IMAGE"]})
        self.assertEqual(cases["iso_file"], {"tag_field": "type", "required": [],
                                             "allowed": ["IMAGE"], "absent": ["ATAPI", "RAW"]})
        self.assertIsNone(cases["type"])
        self.assertEqual(described["enumerations"]["com.korvan.tavo.vm.device.cdrom.backing_type"],
                         ["ATAPI", "IMAGE", "RAW"])
        text = tavo("describe", "cdrom.add", check_status=0)[1]
        self.assertIn('backing_info, a union on "type"', text)
        self.assertRegex(text, r"device_name +string +required when type is ATAPI or RAW; "
                               r"absent otherwise")
        errors = [line.strip() for line in text.splitlines() if line.strip().startswith(ERRORS)]
        self.assertEqual(errors, described["interfaces"][0]["operations"][0]["errors"])
        interface = tavo("describe", "cdrom", check_status=0)[1]
        self.assertIn("list(filter?, vm) -> list<com.korvan.tavo.vm.device.cdrom.summary>",
                      interface)

    def test_names_that_do_not_resolve_and_help(self):
        for name in ("cpus.fly", "nosuch.get", "controller.add", "cpus"):
            status, out, err = tavo("template", name)
            self.assertEqual((status, out), (2, ""), name)
            self.assertTrue(err.startswith("tavo-vm: "), err)
        for sub in ("services", "describe", "template", "call", "serve", "schema"):
            status, out, _ = tavo(sub, "--help")
            self.assertEqual(status, 0, sub)
            self.assertIn("Example", out, sub)
        self.assertEqual(tavo()[0], 2)
        self.assertEqual(tavo("call")[0], 2)

    def test_bash_completion(self):
        def complete(*words):
            script = (f"source {options.completion}; COMP_WORDS=({' '.join(words)}); "
                      f"COMP_CWORD={len(words) - 1}; _tavo_vm; printf '%s\\n' \"${{COMPREPLY[@]}}\"")
            done = subprocess.run(["bash", "--norc", "--noprofile", "-c", script],
                                  capture_output=True, text=True, timeout=TIMEOUT)
            self.assertEqual(done.returncode, 0, done.stderr)
            return done.stdout.split()
        self.assertEqual(complete(options.tavo_vm, "de"), ["describe"])
        self.assertEqual(complete(options.tavo_vm, "call", "cdrom."),
                         ["cdrom.add", "cdrom.list", "cdrom.delete"])
        self.assertIn("--server", complete(options.tavo_vm, "call", "cpus.get", "--s"))


def validator(document, pointer):
    """A validator of the schema at `pointer` within `document`, its references resolved there."""
    import jsonschema
    root = dict(document)
    root.pop("$schema", None)
    root.pop("$id", None)
    root["$ref"] = pointer
    return jsonschema.Draft202012Validator(root)


class SchemaRoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        try:
            import jsonschema  # noqa: F401
        except ImportError:
            raise AssertionError("python3-jsonschema is missing; scripts/setup.sh installs it")
        cls.schema = tavo_json("schema")
        cls.openapi = tavo_json("schema", "--openapi")
        cls.templates = {name: tavo_json("template", name) for name in operations()}
        cls.methods = {name: tavo_json("describe", name, "--json")["interfaces"][0]
                       ["operations"][0]["method"] for name in cls.templates}

    def test_documents_are_valid_and_every_template_fits(self):
        import jsonschema
        jsonschema.Draft202012Validator.check_schema(self.schema)
        definitions = self.schema["$defs"]
        self.assertEqual(len(self.templates), 25)
        for name, template in self.templates.items():
            method = self.methods[name]
            for part in ("input", "output", "errors"):
                self.assertIn(f"{method}.{part}", definitions)
            validator(self.schema, f"#/$defs/{method}.input").validate(template)
        errors = definitions["com.korvan.tavo.vm.device.cdrom.add.errors"]["anyOf"]
        self.assertEqual([e["$ref"].rsplit(".", 1)[1] for e in errors],
                         ["not_found", "not_allowed_in_current_state", "invalid_argument",
                          "already_exists", "unable_to_allocate_resource", "error"])

    def test_schemas_refuse_what_the_server_refuses(self):
        check = validator(self.schema, "#/$defs/com.korvan.tavo.vm.device.cdrom.add.input")
        good = {"vm": "vm-1", "device": "", "backing": {"type": "IMAGE", "iso_file": "a.iso"}}
        check.validate(good)
        check.validate({**good, "backing": {"type": "RAW", "device_name": "/dev/sr0"}})
        refused = [
            {**good, "backing": {"type": "FLOPPY"}},                       # not a value
            {**good, "backing": {"type": "RAW"}},                          # a required member
            {**good, "backing": {"type": "ATAPI", "device_name": "d", "iso_file": "x"}},
            {**good, "extra": 1},                                          # undeclared
            {"vm": "vm-1", "device": ""},                                  # missing
            {**good, "vm": 7},                                             # wrong type
        ]
        for value in refused:
            self.assertFalse(check.is_valid(value), value)
        update = validator(self.schema, "#/$defs/com.korvan.tavo.vm.compute.cpus.update.input")
        self.assertFalse(update.is_valid({"vm": "v", "update_spec": {"count": 2 ** 63}}))
        runtime = validator(self.schema, "#/$defs/com.korvan.tavo.vm.power.get.output")
        self.assertTrue(runtime.is_valid("RUNNING"))
        self.assertFalse(runtime.is_valid("ASLEEP"))

    def test_openapi_describes_the_endpoint(self):
        import jsonschema
        document = self.openapi
        self.assertEqual(document["openapi"], "3.1.0")
        post = document["paths"]["/api"]["post"]
        body = post["requestBody"]["content"]["application/json"]["schema"]
        self.assertEqual(len(body["oneOf"]), 25)
        self.assertEqual(len(body["discriminator"]["mapping"]), 25)
        self.assertIn("200", post["responses"])
        schemas = document["components"]["schemas"]
        for schema in schemas.values():
            jsonschema.Draft202012Validator.check_schema(schema)
        request = validator(document, "#/paths/~1api/post/requestBody/content/"
                                      "application~1json/schema")
        for name, template in self.templates.items():
            envelope = {"jsonrpc": "2.0", "id": 1, "method": self.methods[name],
                        "params": template}
            request.validate(envelope)
        self.assertFalse(request.is_valid({"jsonrpc": "2.0", "id": 1,
                                           "method": "com.korvan.tavo.vm.compute.cpus.get",
                                           "params": {"vm": 1}}))
        response = validator(document, "#/components/schemas/"
                                       "com.korvan.tavo.vm.compute.cpus.get.response")
        response.validate({"jsonrpc": "2.0", "id": 1, "error": {
            "code": -32000, "message": "m",
            "data": {"name": ERRORS + "not_found", "messages": [
                {"id": "x", "default_message": "gone", "args": []}]}}})


class CallRoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tavo-vm-call-")
        cls.token = os.path.join(cls.scratch, "token")
        with open(cls.token, "w") as out:
            out.write("s3cret\n")
        cls.wrong = os.path.join(cls.scratch, "wrong")
        with open(cls.wrong, "w") as out:
            out.write("guess\n")
        port_file = os.path.join(cls.scratch, "port")
        cls.server = Server([options.tavo_vm, "serve", "--port", "0", "--port-file", port_file,
                             "--token-file", cls.token], port_file)

    @classmethod
    def tearDownClass(cls):
        status, out, err = cls.server.stop()
        shutil.rmtree(cls.scratch, ignore_errors=True)
        assert status == 0, err
        assert "tavo-vm-hostd: serving on http://127.0.0.1:" in out, out

    def call(self, operation, *rest, token=None, server=None, stdin=None):
        return tavo("call", operation, *rest, "--server", server or self.server.url,
                    "--token-file", token or self.token, stdin=stdin)

    def test_a_session(self):
        self.assertEqual(self.call("nask.create", '{"spec": {"vm": "vm-1", "guest_OS": "x"}}'),
                         (0, "", ""))
        self.assertEqual(self.call("power.get", '{"vm_id": "vm-1"}'), (0, '"STOPPED"\n', ""))
        template = tavo_json("template", "cpus.update")
        template["vm"] = "vm-1"
        template["update_spec"]["count"] = 2
        path = os.path.join(self.scratch, "update.json")
        with open(path, "w") as out:
            json.dump(template, out)
        self.assertEqual(self.call("cpus.update", "@" + path)[0], 0)
        self.assertEqual(self.call("compute.cpus.get", "-", stdin='{"vm": "vm-1"}')[0], 0)
        status, out, _ = self.call("cpus.get", '{"vm": "vm-1"}')
        self.assertEqual((status, json.loads(out)["count"]), (0, 2))
        self.assertEqual(self.call("cdrom.add", json.dumps(
            {"vm": "vm-1", "device": "", "backing": {"type": "IMAGE", "iso_file": "a.iso"}}))[0], 0)
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
        status, _, err = self.call("cpus.get", '{"vm": "vm-1"}', token=self.wrong)
        self.assertEqual((status, err.splitlines()[0]), (1, "tavo-vm: " + ERRORS + "unauthenticated"))
        down = f"http://127.0.0.1:{closed_port()}/api"
        status, out, err = self.call("cpus.get", '{"vm": "vm-1"}', server=down)
        self.assertEqual((status, out), (3, ""), err)
        self.assertIn(ERRORS + "service_unavailable", err)
        self.assertEqual(self.call("cpus.get", '{"vm": "vm-1"}', "--timeout", "0")[0], 2)
        self.assertEqual(self.call("cpus.get", '{"vm": "vm-1"}', "--table")[0], 2)
        self.assertEqual(self.call("cpus.fly")[0], 2)

    def test_inputs_that_do_not_fit_are_refused_before_sending(self):
        # Aimed at a port nothing listens on: a 3 would mean the call was tried.
        down = f"http://127.0.0.1:{closed_port()}/api"
        refused = {
            "cpus.get": ('{"vm": ', "syntax"),
            "cpus.update": ('{"vm": "vm-1", "update_spec": {"count": true}}', "update_spec.count"),
            "cdrom.add": ('{"vm": "vm-1", "device": "", "backing": {"type": "FLOPPY"}}',
                          'backing.type: "FLOPPY" is not a value of'),
            "power.switch_on": ('{"vm_id": "vm-1", "pause": true}', 'no field "pause"'),
            "nask.create": ('{"spec": {"vm": "vm-1"}}', "guest_OS"),
            "cdrom.list": ('{"vm": "v", "filter": {"backing_types": ["ATAPI", "X"]}}',
                           "filter.backing_types[1]"),
        }
        for operation, (text, needle) in refused.items():
            status, out, err = self.call(operation, text, server=down)
            self.assertEqual((status, out), (2, ""), f"{operation}: {err}")
            self.assertIn("nothing was sent", err)
            self.assertIn(needle, err, operation)
        status, _, err = self.call("cpus.get", "@/nonexistent/input.json", server=down)
        self.assertEqual(status, 2, err)

    def test_outputs_fit_their_schema(self):
        import jsonschema  # noqa: F401
        schema = tavo_json("schema")
        self.call("nask.create", '{"spec": {"vm": "vm-s", "guest_OS": "x"}}')
        for operation, method in (("cpus.get", "compute.cpus.get"),
                                  ("memory.get", "compute.memory.get")):
            status, out, err = self.call(operation, '{"vm": "vm-s"}')
            self.assertEqual(status, 0, err)
            validator(schema, f"#/$defs/com.korvan.tavo.vm.{method}.output").validate(
                json.loads(out))

    def test_progress_lines_when_not_a_terminal(self):
        scratch = tempfile.mkdtemp(prefix="tavo-vm-progress-")
        port_file = os.path.join(scratch, "port")
        server = Server([options.progress_server, port_file, "4", "50"], port_file)
        try:
            tavo("call", "nask.create", '{"spec": {"vm": "vm-1", "guest_OS": "x"}}', "--server",
                 server.url, check_status=0)
            status, out, err = tavo("call", "dock.load", '{"vm_id": "vm-1"}', "--server",
                                    server.url)
            self.assertEqual((status, out), (0, ""), err)
            self.assertEqual(err.splitlines(), [f"progress: {i}/4" for i in range(4)])
        finally:
            server.stop()
            shutil.rmtree(scratch, ignore_errors=True)


class TerminalRoad(unittest.TestCase):
    """A person at a terminal: tmux runs a shell, send-keys types, capture-pane reads."""

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="tavo-vm-tmux-")
        port_file = os.path.join(self.scratch, "port")
        self.server = Server([options.progress_server, port_file, "8", "400"], port_file)
        tavo("call", "nask.create", '{"spec": {"vm": "vm-1", "guest_OS": "x"}}', "--server",
             self.server.url, check_status=0)
        tavo("call", "cdrom.add", json.dumps({"vm": "vm-1", "device": "", "backing": {
            "type": "ATAPI", "device_name": "/dev/sr0"}}), "--server", self.server.url,
             check_status=0)
        self.socket = f"tavo-vm-test-{os.getpid()}"
        self.tmux("new-session", "-d", "-s", "t", "-x", "160", "-y", "40",
                  "env", "PS1=$ ", f"TAVO_VM_SERVER={self.server.url}", "bash", "--norc",
                  "--noprofile")

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

    def type(self, line):
        self.tmux("send-keys", "-t", "t", "clear", "Enter")
        time.sleep(0.2)
        self.tmux("send-keys", "-t", "t", "-l", line + "; echo EXIT=$?")
        self.tmux("send-keys", "-t", "t", "Enter")

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "t")

    def until(self, predicate, limit=20.0):
        """Reads the screen until `predicate` holds, bounded; every screen seen is returned."""
        seen = []
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            seen.append(self.screen())
            if predicate(seen[-1]):
                return seen
            time.sleep(0.1)
        self.fail("the screen never showed what was expected:\n" + seen[-1])

    def test_progress_bar_table_and_indented_json(self):
        def finished(screen):
            return re.search(r"EXIT=\d", screen) is not None

        tool = options.tavo_vm
        self.type(f"{tool} call dock.load '{{\"vm_id\": \"vm-1\"}}'")
        seen = self.until(finished)
        bars = [m for screen in seen
                for m in re.findall(r"\[(#*)(\.*)\] (\d+)% (\d)/8", screen)]
        self.assertTrue(bars, seen[-1])
        self.assertTrue(all(len(full) + len(empty) == 30 for full, empty, _, _ in bars))
        self.assertGreater(len({done for _, _, _, done in bars}), 1, "the bar never moved")
        final = seen[-1]
        self.assertIn("EXIT=0", final)
        self.assertNotIn("] ", final.split("EXIT=0")[0].split("dock.load")[-1],
                         "the bar was left on the screen")

        self.type(f"{tool} call cdrom.list '{{\"vm\": \"vm-1\"}}' --table")
        final = self.until(finished)[-1]
        lines = final.splitlines()
        header = next(line for line in lines if line.startswith("cdrom "))
        row = lines[lines.index(header) + 1]
        self.assertEqual(row.index("ATAPI"), header.index("backing_type"))
        self.assertEqual(row.index("ide"), header.index("device"))
        self.assertIn("EXIT=0", final)

        self.type(f"{tool} call cpus.get '{{\"vm\": \"vm-1\"}}'")
        final = self.until(finished)[-1]
        self.assertRegex(final, r'\n\{\n  "count": 1,\n  "cores_per_socket": 1,')

        self.type(f"{tool} call cpus.get '{{\"vm\": \"vm-9\"}}'")
        final = self.until(finished)[-1]
        self.assertIn("tavo-vm: " + ERRORS + "not_found\n", final)
        self.assertIn("EXIT=1", final)


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
