# A batch as a Slurm job array on a one-node cluster started for this test:
# the convert and gather scripts of docs/cluster.md over the shared models in
# three shards, then every model must be in the gathered report exactly once,
# each converted one with its container, and the node must not have been drained or taken down.
import json, os, re, signal, subprocess, sys, time

SHARDS, WAIT_SECONDS = 3, 480
SOURCE, MODELS = os.environ['VELMORA_SOURCE_DIR'], os.environ.get('VELMORA_SHARED_MODELS', '')
WORK = os.path.join(os.environ.get('TMPDIR', '/tmp'), 'cluster')
OUT = os.path.join(WORK, 'out')
ENV = dict(os.environ, SLURM_CONF=WORK + '/slurm.conf', VELMORA=os.environ['VELMORA_BUILD_DIR'] + '/bin/Velmora3dEncoder')


def slurm(*command):
    return subprocess.run(command, env=ENV, check=True, stdout=subprocess.PIPE, text=True).stdout.strip()


def submit(name, option, *arguments):  # the script as docs/cluster.md shows it
    with open(os.path.join(SOURCE, 'docs', 'cluster.md')) as doc, open(os.path.join(WORK, name), 'w') as script:
        script.write(re.search(r'```sh\n(#!/bin/sh\n# ' + name + r':.*?)```', doc.read(), re.S).group(1))
    return slurm('sbatch', '--parsable', '-D', WORK, option, os.path.join(WORK, name), *arguments)


# Polls, since sbatch --wait looks only every few tens of seconds. The limit
# only keeps a stuck cluster from holding the test until CTest kills it.
def wait_for(jobs):
    deadline = time.monotonic() + WAIT_SECONDS
    while slurm('squeue', '-h', '-j', ','.join(jobs)):
        if time.monotonic() > deadline or re.search('drain|down', slurm('sinfo', '-h', '-o', '%T')):
            sys.exit(f'FAIL: jobs {jobs} still queued, node ' + slurm('sinfo', '-h', '-o', '%T'))
        time.sleep(0.5)


# The node's state once the jobs have left it: it can still show "mixed" or
# "completing" for a moment after squeue no longer lists them.
def settled_node_state():
    deadline = time.monotonic() + 30
    state = slurm('sinfo', '-h', '-n', 'localhost', '-o', '%T')
    while re.match('mixed|allocated|completing', state) and time.monotonic() < deadline:
        time.sleep(0.2)
        state = slurm('sinfo', '-h', '-n', 'localhost', '-o', '%T')
    return state


def below(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder) for root, _, names in os.walk(folder)
                  for name in names if re.search(r'\.(vm3|fbx|gltf|glb|obj|dae|ply|stl|3ds)$', name, re.I))


def check():
    lines = [json.loads(line) for line in open(os.path.join(OUT, 'report.json')) if line.strip()]
    records = [line for line in lines if 'input' in line]
    converted = [os.path.relpath(r['output'], OUT) for r in records if r['status'] == 'converted']
    wanted = {'shard summaries': (sum('summary' in line for line in lines), SHARDS),
              'inputs, each once': (sorted(os.path.relpath(r['input'], MODELS) for r in records), below(MODELS)),
              'other statuses': ({r['status'] for r in records} - {'converted', 'failed'}, set()),
              'containers': (sorted(converted), below(OUT)),
              'node drained or down': (bool(re.search('drain|down|fail', settled_node_state())), False)}
    failed = [f'{what}: {got} != {want}' for what, (got, want) in wanted.items() if got != want]
    print('\n'.join(failed) or f'{len(converted)} of {len(records)} models converted in {SHARDS} shards')
    return 1 if failed else 0


def main():
    if os.geteuid() != 0 or not os.path.isdir(MODELS):
        print('SKIP: needs root (to start the Slurm daemons) and the shared models')
        return 77
    os.makedirs(WORK)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit('FAIL: terminated'))
    cluster = os.path.join(SOURCE, 'scripts', 'local-slurm.py')
    try:
        subprocess.run([cluster, 'start', WORK], check=True)
        array = submit('convert.sbatch', f'--array=1-{SHARDS}', MODELS, OUT)
        wait_for([array, submit('gather.sbatch', f'--dependency=afterany:{array}', OUT)])
        return check()
    finally:
        subprocess.run([cluster, 'stop', WORK])


sys.exit(main())
