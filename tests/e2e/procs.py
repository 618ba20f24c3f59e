"""Small helpers for the processes and log files the end-to-end tests start."""

import subprocess


def stop_process(proc, grace=10):
    """Asks proc (if any) to end; kills it when it has not within `grace` seconds."""
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def read_text(path):
    """The file's text, or "" while it does not exist."""
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""
