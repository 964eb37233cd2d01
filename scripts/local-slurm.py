#!/usr/bin/env python3
"""Starts and stops a one-node Slurm cluster that lives in one folder.

    scripts/local-slurm.py start DIR    # prints SLURM_CONF=DIR/slurm.conf
    scripts/local-slurm.py stop DIR

For trying batch scripts on one machine and for the cluster test: run as root,
without systemd. munged, slurmctld and `slurmd -N localhost` keep their key,
socket, state, spool, logs and PID files in DIR and listen on two free ports,
so nothing clashes with a Slurm or MUNGE the machine already runs. Processes
are tracked by their own PIDs (proctrack/linuxproc, task/none): the default
cgroup tracking needs a systemd-managed cgroup tree and otherwise drains the
node while jobs still report success. `stop` ends exactly the daemons that
`start` wrote PID files for, and only those.
"""
import os
import signal
import socket
import subprocess
import sys
import time

DAEMONS = ("slurmd", "slurmctld", "munged")  # stopped in this order
STARTUP_SECONDS = 30


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def slurm_conf(folder, cpus):
    ports = free_port(), free_port()
    while ports[1] == ports[0]:
        ports = ports[0], free_port()
    lines = [
        "ClusterName=local",
        "SlurmctldHost=localhost(127.0.0.1)",
        "SlurmUser=root",
        "SlurmdUser=root",
        f"SlurmctldPort={ports[0]}",
        f"SlurmdPort={ports[1]}",
        "AuthType=auth/munge",
        "CredType=cred/munge",
        f"AuthInfo=socket={folder}/munge.socket",
        f"StateSaveLocation={folder}/state",
        f"SlurmdSpoolDir={folder}/spool",
        f"SlurmctldPidFile={folder}/slurmctld.pid",
        f"SlurmdPidFile={folder}/slurmd.pid",
        f"SlurmctldLogFile={folder}/slurmctld.log",
        f"SlurmdLogFile={folder}/slurmd.log",
        f"PlugStackConfig={folder}/plugstack.conf",
        "ProctrackType=proctrack/linuxproc",
        "TaskPlugin=task/none",
        "SelectType=select/cons_tres",
        "SelectTypeParameters=CR_CPU",
        # Starts jobs as they arrive and as others end, not on the backfill
        # scheduler's half-minute cycle.
        "SchedulerType=sched/builtin",
        "MpiDefault=none",
        "ReturnToService=2",
        "AccountingStorageType=accounting_storage/none",
        "JobAcctGatherType=jobacct_gather/none",
        "JobCompType=jobcomp/none",
        f"NodeName=localhost NodeAddr=127.0.0.1 CPUs={cpus} State=UNKNOWN",
        "PartitionName=local Nodes=localhost Default=YES MaxTime=INFINITE State=UP",
    ]
    return "\n".join(lines) + "\n"


def run(command, environment):
    result = subprocess.run(command, env=environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed ({result.returncode}): {result.stdout.strip()}")
    return result.stdout


def wait_until(condition, what, folder):
    deadline = time.monotonic() + STARTUP_SECONDS
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError(f"{what} did not happen within {STARTUP_SECONDS} s; see the logs in {folder}")
        time.sleep(0.2)


def node_state(environment):
    try:
        return run(["sinfo", "-h", "-n", "localhost", "-o", "%T"], environment).strip()
    except RuntimeError:
        return ""


def start(folder):
    folder = os.path.abspath(folder)
    for sub in ("state", "spool"):
        os.makedirs(os.path.join(folder, sub), mode=0o700, exist_ok=True)
    with open(os.path.join(folder, "slurm.conf"), "w") as conf:
        conf.write(slurm_conf(folder, os.cpu_count() or 1))
    open(os.path.join(folder, "plugstack.conf"), "w").close()
    environment = dict(os.environ, SLURM_CONF=os.path.join(folder, "slurm.conf"))
    key = os.path.join(folder, "munge.key")
    if not os.path.exists(key):
        run(["mungekey", "--create", f"--keyfile={key}"], environment)
    # --force: munged otherwise wants every folder above its socket open to
    # all users, which a private temporary folder is not.
    run(["munged", "--force", f"--key-file={key}", f"--socket={folder}/munge.socket", f"--pid-file={folder}/munged.pid",
         f"--log-file={folder}/munged.log", f"--seed-file={folder}/munged.seed"], environment)
    run(["slurmctld"], environment)
    run(["slurmd", "-N", "localhost"], environment)
    wait_until(lambda: node_state(environment) == "idle", "The node becoming idle", folder)
    print(f"SLURM_CONF={environment['SLURM_CONF']}")


def is_running(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def started_pids(folder):
    pids = {}
    for daemon in DAEMONS:
        try:
            with open(os.path.join(folder, daemon + ".pid")) as text:
                pids[daemon] = int(text.read().strip())
        except (OSError, ValueError):
            pass
    return pids


def stop(folder):
    for daemon, pid in started_pids(folder).items():
        pid_file = os.path.join(folder, daemon + ".pid")
        if is_running(pid):
            os.kill(pid, signal.SIGTERM)
            deadline = time.monotonic() + 10
            while is_running(pid) and time.monotonic() < deadline:
                time.sleep(0.1)
            if is_running(pid):
                os.kill(pid, signal.SIGKILL)
        if os.path.exists(pid_file):  # slurmd removes its own
            os.remove(pid_file)


def main(arguments):
    if len(arguments) != 2 or arguments[0] not in ("start", "stop"):
        print(__doc__.strip(), file=sys.stderr)
        return 1
    if os.geteuid() != 0:
        print("local-slurm.py: the daemons run as root; run this as root.", file=sys.stderr)
        return 1
    if arguments[0] == "start" and any(is_running(pid) for pid in started_pids(arguments[1]).values()):
        print(f"local-slurm.py: a cluster already runs in {arguments[1]}; stop it first.", file=sys.stderr)
        return 1
    try:
        (start if arguments[0] == "start" else stop)(arguments[1])
    except (OSError, RuntimeError) as error:
        print(f"local-slurm.py: {error}", file=sys.stderr)
        if arguments[0] == "start":  # leaves no daemon of a half-started cluster running
            stop(arguments[1])
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
