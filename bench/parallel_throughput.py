#!/usr/bin/python3
"""Throughput of orvane.sweep on one and on two workers: default diagrams per second.

Each diagram is the program's default (a 50 um water drop, 200 rays, orders 0 to 4, 1000
angles), computed by a worker and its intensity array sent back. The workers run one
diagram at a time (a default diagram uses one thread), so two workers on two free cores
should bring nearly twice the diagrams of one: the goal is at least 1.8 times.

The executor is started and warmed up (the module imported in every worker) before the clock
starts; runs on one and on two workers alternate, --repeat times each, since the machine may be
shared; the medians are compared. Beside them, in the same minutes, the machine's own scaling:
the same diagrams in one and in two plain processes that share nothing and return nothing. On a
machine whose second core is taken by other work that ratio falls below 2, and the executor's
ratio with it; their quotient is what the executor itself keeps of the machine's scaling. With
Dask, the processor time of the busiest worker is read as well: with a free core per worker the
wall time follows it, so its ratio is the throughput ratio a quiet machine gives.

    PYTHONPATH=build/python /usr/bin/python3 bench/parallel_throughput.py [--executor dask|process] [--diagrams N]
"""

import argparse
import concurrent.futures
import multiprocessing
import statistics
import sys
import time

import orvane


def default_diagram(case):
    """One default diagram (the sweep's parameter only numbers the copies)."""
    return orvane.diagram().total


def run(executor, diagrams, chunksize, worker_clocks=None):
    """Wall time of the sweep, the processor time this process (the client, and with Dask its
    scheduler) took meanwhile, and that of the busiest worker and of all workers together (None
    where it cannot be read)."""
    before = worker_clocks() if worker_clocks else None
    start, cpu = time.perf_counter(), time.process_time()
    table = orvane.sweep(default_diagram, case=range(diagrams), executor=executor, chunksize=chunksize)
    elapsed, cpu = time.perf_counter() - start, time.process_time() - cpu
    busiest = None
    if worker_clocks:
        after = worker_clocks()
        busiest = (max(after[w] - before[w] for w in after), sum(after[w] - before[w] for w in after))
    assert table.value.shape == (diagrams, 1000)
    return elapsed, cpu, busiest


def _plain_share(count, ready, start):
    """`count` default diagrams in a process of its own, once every process is ready."""
    orvane.diagram()
    ready.release()
    start.wait()
    for _ in range(count):
        orvane.diagram()


def plain_processes(diagrams, processes):
    """Wall time of `diagrams` default diagrams shared between plain processes: the machine's
    own scaling, without an executor, a transfer or a sum."""
    context = multiprocessing.get_context("spawn")
    ready, start = context.Semaphore(0), context.Event()
    workers = [context.Process(target=_plain_share, args=(diagrams // processes, ready, start))
               for _ in range(processes)]
    for w in workers:
        w.start()
    for _ in workers:
        ready.acquire()
    begin = time.perf_counter()
    start.set()
    for w in workers:
        w.join()
    return time.perf_counter() - begin


class Executors:
    """A fresh executor of `workers` workers of the chosen kind, started and warmed up."""

    def __init__(self, kind):
        self.kind = kind

    def start(self, workers):
        self.worker_clocks = None
        if self.kind == "process":
            self.pool = concurrent.futures.ProcessPoolExecutor(max_workers=workers,
                                                               mp_context=multiprocessing.get_context("spawn"))
            executor = self.pool
        else:
            from distributed import Client, LocalCluster

            self.cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                        dashboard_address=None, silence_logs=40)
            self.client = Client(self.cluster)
            executor = self.client.get_executor()
            self.worker_clocks = lambda: self.client.run(time.process_time)
        orvane.sweep(default_diagram, case=range(8 * workers), executor=executor, chunksize=1)  # warm-up
        return executor

    def stop(self):
        if self.kind == "process":
            self.pool.shutdown()
        else:
            self.client.close()
            self.cluster.close()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--executor", choices=("dask", "process"), default="dask")
    parser.add_argument("--diagrams", type=int, default=10000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--chunksize", type=int, default=None, help="diagrams per submission (default: 64 chunks)")
    args = parser.parse_args(argv)

    serial = run(None, min(args.diagrams, 2000), None)[0] / min(args.diagrams, 2000) * args.diagrams
    busiest = {1: [], 2: []}
    print(f"serial, in this process: {args.diagrams / serial:.0f} diagrams/s", flush=True)
    times = {1: [], 2: []}
    plain = {1: [], 2: []}
    executors = Executors(args.executor)
    for _ in range(args.repeat):
        for workers in (1, 2):
            plain[workers].append(plain_processes(args.diagrams, workers))
            print(f"plain, {workers} process{'es' if workers > 1 else ''}: {args.diagrams / plain[workers][-1]:.0f} "
                  f"diagrams/s", flush=True)
            executor = executors.start(workers)
            try:
                elapsed, cpu, worker = run(executor, args.diagrams, args.chunksize, executors.worker_clocks)
            finally:
                executors.stop()
            times[workers].append(elapsed)
            if worker is not None:
                busiest[workers].append(worker[0])
            print(f"{args.executor}, {workers} worker{'s' if workers > 1 else ''}: {args.diagrams} diagrams in "
                  f"{elapsed:.2f} s, {args.diagrams / elapsed:.0f} diagrams/s (processor time: this process "
                  f"{cpu:.2f} s" + (f", the busiest worker {worker[0]:.2f} s, all workers {worker[1]:.2f} s"
                                    if worker is not None else "") + ")",
                  flush=True)
    one, two = statistics.median(times[1]), statistics.median(times[2])
    machine = statistics.median(plain[1]) / statistics.median(plain[2])
    print(f"median: 1 worker {args.diagrams / one:.0f}/s, 2 workers {args.diagrams / two:.0f}/s: "
          f"{one / two:.2f} times the throughput (goal: at least 1.8); the machine itself, in plain processes: "
          f"{machine:.2f} times; the executor keeps {one / two / machine:.0%} of it")
    if busiest[1] and busiest[2]:
        # With a core for each worker the wall time follows the busiest worker's processor time.
        print(f"processor time of the busiest worker: 1 worker {statistics.median(busiest[1]):.2f} s, 2 workers "
              f"{statistics.median(busiest[2]):.2f} s: {statistics.median(busiest[1]) / statistics.median(busiest[2]):.2f} "
              f"times the throughput with a free core per worker")
    return 0


if __name__ == "__main__":
    sys.exit(main())
