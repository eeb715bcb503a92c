#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal and answers its passphrase prompts.

The age tool reads passphrases from the terminal only; the interop tests run
it through this. Usage: age_pty.py PASSPHRASE COMMAND [ARGS...]
"""
import os
import pty
import sys

passphrase = sys.argv[1].encode()
pid, fd = pty.fork()
if pid == 0:
    os.execvp(sys.argv[2], sys.argv[2:])
seen = b""
while True:
    try:
        data = os.read(fd, 1024)
    except OSError:
        break
    if not data:
        break
    seen += data
    if b"passphrase" in seen.lower() and seen.rstrip().endswith(b":"):
        os.write(fd, passphrase + b"\n")
        seen = b""
_, status = os.waitpid(pid, 0)
sys.exit(os.waitstatus_to_exitcode(status))
