#!/usr/bin/env python3
"""Runs vr512b-diag-cli on the virtual bench with --report and validates the
records against the published JSON Schema (draft 2020-12).

Usage: validate_run_record.py CLI SCHEMA
Exit status 77 (a skip for CTest) when the jsonschema module is missing.
"""

import copy
import json
import os
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed: skipped")
    sys.exit(77)


def run(cli, folder, name, args):
    report = os.path.join(folder, name + ".json")
    command = [cli, "--simulate", "--virtual-time",
               "--settings", os.path.join(folder, "bench.reg"),
               "--report", report] + args
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=240, check=False)
    with open(report, "rb") as file:
        raw = file.read()
    # Strict: a record with bytes that are not UTF-8 is not JSON.
    record = json.loads(raw.decode("utf-8", errors="strict"))
    return result, record


def main():
    cli, schema_path = sys.argv[1], sys.argv[2]
    with open(schema_path, encoding="utf-8") as file:
        schema = json.load(file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    def valid(record, what):
        errors = sorted(validator.iter_errors(record), key=lambda e: list(e.path))
        for error in errors:
            failures.append("%s: %s at %s" % (what, error.message, list(error.path)))

    with tempfile.TemporaryDirectory() as folder:
        # Every test of Check all, then a failure, an abort and the monitor
        # with a message from a remote panel.
        cases = {
            "all": (["all"], 0),
            "failed": (["--sim", "absent ref", "func", "tr"], 1),
            "aborted": (["--abort-after", "10000", "--sim", "call ut 11 C2D0353132420A07",
                         "monitor"], 2),
        }
        records = {}
        for name, (args, status) in cases.items():
            result, record = run(cli, folder, name, args)
            check(result.returncode == status,
                  "%s: exit status %d, expected %d" % (name, result.returncode, status))
            check(record["exitStatus"] == result.returncode, name + ": exitStatus")
            valid(record, name)
            records[name] = record

        check([t["id"] for t in records["all"]["tests"]] ==
              ["func", "indic", "sound", "tr", "rx", "line", "trmess", "rxmess"],
              "all: every test of Check all in order")
        check([t["verdict"] for t in records["failed"]["tests"]] == ["OK", "Ошибка"],
              "failed: verdicts")
        check(records["aborted"]["tests"][0]["verdict"] == "Прервано", "aborted: verdict")
        # The remote panel's bytes (code page 1251, control characters) as the log shows them.
        check("Принял 00, формат 11: ВР512B??" in records["aborted"]["tests"][0]["log"],
              "aborted: the received message")

        # The schema is not a blank cheque: records it must turn down.
        broken = []
        for mutate in (lambda r: r.pop("tests"),
                       lambda r: r["tests"][0].update(verdict="Passed"),
                       lambda r: r.update(started="2026-12-08 10:00:00"),
                       lambda r: r["parameters"].pop("CBNoTone"),
                       lambda r: r["units"][0].update(versionCode=70000),
                       lambda r: r.update(extra=1)):
            record = copy.deepcopy(records["all"])
            mutate(record)
            broken.append(validator.is_valid(record))
        check(not any(broken), "schema accepts broken records: %s" % broken)

    if failures:
        for failure in failures:
            print("FAIL:", failure)
        return 1
    print("run records valid against", os.path.basename(schema_path))
    return 0


if __name__ == "__main__":
    sys.exit(main())
