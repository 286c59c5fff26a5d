"""A throwaway Wine prefix with one server kept alive for many short runs."""

import os
import subprocess


def quiet(cmd, env, timeout=300):
  """A housekeeping command whose output does not matter. Its output goes
  nowhere rather than to a pipe: wineserver and wineboot leave processes
  behind that would hold a pipe open."""
  try:
    subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=timeout)
  except (subprocess.TimeoutExpired, OSError):
    pass


def start(tmp, drop=()):
  """Makes a prefix under tmp, starts its server and returns the
  environment to run Wine with; `drop` names variables to leave out."""
  env = dict(os.environ)
  env.pop("DISPLAY", None)
  for name in drop:
    env.pop(name, None)
  env.update({"WINEPREFIX": os.path.join(tmp, "prefix"), "WINEDEBUG": "-all",
              "WINEDLLOVERRIDES": "mscoree=d;mshtml=d"})
  quiet(["wineboot", "-i"], env)
  quiet(["wineserver", "-w"], env, timeout=120)
  quiet(["wineserver", "-p"], env, timeout=60)
  # The first program of a fresh server starts Wine's background services,
  # which inherit its standard handles and would hold a test's pipe open
  # long after the tool has ended: let them start on nothing.
  quiet(["wine", "cmd", "/c", "exit"], env, timeout=120)
  return env


def stop(env):
  quiet(["wineserver", "-k"], env, timeout=60)
