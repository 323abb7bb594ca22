#!/usr/bin/env python3
"""vardexctl schema, checked with a standard validator, and held against
vardexctl's own reading of the same files: it accepts what
`read --json` prints for every variant of the simulator (by either name form,
each variant a dialect of its own, registers the firmware refuses included)
and refuses values out of range, bad texts and unknown keys."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

import jsonschema

VARDEXCTL, SIM = sys.argv[1], sys.argv[2]
# Each run of a program is bounded: nothing waits for ever on a stuck device.
RUN_LIMIT_S = 60
VARIANTS = ["Hungary", "Cyprus", "Poland", "Brasil", "Brasil USB", "Lithuania", "UAE", "Germany"]


def read_json(folder, country, names, dialect):
    # The device's pauses are shorter than the program's time-outs on one clock,
    # slow enough that a busy machine keeps them so.
    env = dict(os.environ, XDG_STATE_HOME=folder, VARDEX_TIME_SCALE="0.2")
    sim = subprocess.Popen([SIM, "--country", country, "--dialect", str(dialect)], env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = sim.stdout.readline().strip()
        done = subprocess.run([VARDEXCTL, "read", "--port", port, "--json", "--names", names],
                              env=env, capture_output=True, text=True, timeout=RUN_LIMIT_S)
        assert done.returncode == 0, f"{country} dialect {dialect}: {done.stderr}"
        return json.loads(done.stdout)
    finally:
        sim.terminate()
        sim.wait(timeout=RUN_LIMIT_S)


def vardexctl_takes(folder, sample):
    """Whether vardexctl takes a settings file: it checks it before it opens
    the port, so a port that does not exist tells a refused file (exit status
    2, a usage error) from a taken one (1, the port)."""
    path = os.path.join(folder, "sample.json")
    with open(path, "w", encoding="utf-8") as file:
        json.dump(sample, file)
    done = subprocess.run([VARDEXCTL, "write", "--port", os.path.join(folder, "no-port"),
                           "--from", path], capture_output=True, text=True, timeout=RUN_LIMIT_S,
                          env=dict(os.environ, XDG_STATE_HOME=folder))
    return done.returncode != 2


def main():
    schema = json.loads(subprocess.run([VARDEXCTL, "schema"], capture_output=True, text=True,
                                       check=True, timeout=RUN_LIMIT_S).stdout)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        reads = []
        for dialect, country in enumerate(VARIANTS, start=1):
            for names in ("member", "readable"):
                record = read_json(folder, country, names, dialect)
                reads.append(record)
                for error in validator.iter_errors(record):
                    print(f"{country} ({names}): refused: {error.message}")
                    failures += 1
    folder_for_files = tempfile.mkdtemp()
    hungary = reads[0]
    bad = [
        {"m_nFlashDuration": 101},
        {"telephony.flash_duration": -1},
        {"x25.cug_number": 100},
        {"m_bCallWaiting1": True},
        {"m_strPhoneMsn": ["12a", "", "", "", "", ""]},
        {"m_strPhoneMsn": [""] * 5},
        {"dte.msn": ["1;2", "", ""]},
        {"m_strX25Address": "1" * 16},
        {"m_byModemLlc": [[0, 0, 256], [0, 0, 0]]},
        {"m_bNoSuchField": 1},
        dict(hungary, unknown=1),
        {"refused_commands": "ATS123?"},
    ]
    good = [{"x25.cug_number": 255}, {"m_nX25CugNumber": 99, "port1.call_waiting": 0},
            {"dte.msn": ["1 #*", "", ""]}, {"m_nFskLevel": None}, {"m_bClip": None},
            {"refused_commands": ["ATS123?"]}, {}]
    bad += [{"m_bClip": 1, "telephony.clip": 1}, {"m_strCountry": 5}]
    good += [{"m_bClip": 1.0}, {"m_wModelVersion": 258}]
    for sample in bad:
        if validator.is_valid(sample):
            print(f"accepted, though it must not be: {json.dumps(sample)[:120]}")
            failures += 1
        if vardexctl_takes(folder_for_files, sample):
            print(f"vardexctl takes what the schema refuses: {json.dumps(sample)[:120]}")
            failures += 1
    for sample in good:
        for error in validator.iter_errors(sample):
            print(f"refused {sample}: {error.message}")
            failures += 1
        if not vardexctl_takes(folder_for_files, sample):
            print(f"vardexctl refuses what the schema takes: {json.dumps(sample)[:120]}")
            failures += 1
    shutil.rmtree(folder_for_files)
    print(f"{len(reads) + len(bad) + len(good) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
