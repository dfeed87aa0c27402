#!/usr/bin/env python3
"""Runs a Windows test program under Wine inside the sandbox, with the
stand-in service listening for the configured service host.

    run_in_sandbox.py SERVICE_HOST PROGRAM.exe [ARGS...]

The program finds the service's mode file and request log through the
STANDIN_MODE_FILE and STANDIN_LOG variables (Windows paths) and the host name
through STANDIN_HOST. Its output is copied to ours; its exit status is ours.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sandbox  # noqa: E402


def main():
    sandbox.enter()
    host, program, *args = sys.argv[1:]
    with sandbox.Sandbox(host) as sb:
        sb.reset()
        sb.env.update(STANDIN_MODE_FILE=sandbox.windows_path(sb.mode_file),
                      STANDIN_LOG=sandbox.windows_path(sb.service_log),
                      STANDIN_HOST=host)
        output = os.path.join(sb.dir, "program.log")
        status = sb.wine([program, *args], wait=True, timeout=600, stdout=output)
        with open(output, "rb") as f:
            sys.stdout.write(f.read().decode("utf-8", "replace"))
        sys.stdout.flush()
    return status


if __name__ == "__main__":
    sys.exit(main())
