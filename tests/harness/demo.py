#!/usr/bin/env python3
"""Launches the exe twice in the sandbox and says what each stage did."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lnk  # noqa: E402
import sandbox  # noqa: E402


def describe(title, sb, launch, had_id_file):
    print(title)
    links = [name for name in launch.shortcuts if name.endswith(".lnk")]
    if links:
        target = lnk.read(os.path.join(sb.desktop, links[0]))["target"]
        print(f"  1 shortcut     Desktop\\{links[0]} -> {target}")
    else:
        print("  1 shortcut     none written")
    identity = launch.requests_to("/app/getuid")
    did = launch.url.split("did=", 1)[1] if launch.url and "did=" in launch.url else ""
    if had_id_file:
        source = "read from the id file; no request to the service"
    elif identity and launch.id_file:
        source = "obtained from the service (POST /app/getuid) and stored in the id file"
    elif identity:
        source = "the service's answer held no identifier; nothing stored"
    else:
        source = "no id file and no service: none"
    print(f"  2 device id    {did or '(empty)'}: {source}")
    print(f"  3 play page    {launch.url or 'none opened'}")
    reports = launch.requests_to("/logger/common/log")
    if reports:
        body = reports[0]["body"]
        print(f"  4 report       the service received POST /logger/common/log, "
              f"{len(body.encode('latin-1'))} bytes:")
        print("                 " + body.replace("\t", "\\t"))
    else:
        print("  4 report       the service received none")
    print(f"  exit status    {launch.status}")


def main():
    sandbox.enter()
    exe = os.path.abspath(sys.argv[1])
    options = sandbox.read_build_options(exe)
    how = "emulated (qemu-i386)" if sandbox.runs_emulated(exe) else "natively"
    print(f"Sandbox: 64-bit Wine prefix with code page 936, the exe running {how}; "
          f"{options['LAUNCHER_SERVICE_HOST']} resolves to the local stand-in service.")
    with sandbox.Sandbox(options["LAUNCHER_SERVICE_HOST"]) as sb:
        sb.reset()
        first = sb.launch(exe)
        describe("\nFirst launch (no id file, no shortcut):", sb, first, had_id_file=False)
        print(f"  id file        {sb.id_file[len(sb.prefix) + 1:]}: "
              f"{(first.id_file or b'(none)').decode('latin-1').strip()!r}")
        later = sb.launch(exe)
        describe("\nLater launch (id file present):", sb, later, had_id_file=True)
    return 0 if first.status == 0 and later.status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
