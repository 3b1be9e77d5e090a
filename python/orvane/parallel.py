"""Many computations on any concurrent.futures executor, their results in a fixed order.

None runs them here, one after the other; a ThreadPoolExecutor runs them side by side (the
core releases the interpreter lock); a ProcessPoolExecutor on the cores of this machine; a
Dask cluster through client.get_executor() (python3-distributed) on every machine it spans.
Each computation gives the same bits wherever it runs, and every sum over results is taken
here, in the order of the tasks, so a result does not depend on the executor or on the number
of its workers.

Tasks go out in chunks, a few hundred microseconds of scheduling being the price of each
submission: a default diagram takes about as long.
"""

import collections
import math

# Chunks a list of tasks is cut into by default: enough for a few dozen workers to share
# evenly, few enough that the scheduling is a small part of the work.
DEFAULT_CHUNKS = 64


class _Chunk:
    """The arguments of the tasks of one submission. Kept in an object of its own: Dask reads
    a tuple whose first item is callable, inside a task's arguments, as a task to run first."""

    __slots__ = ("arguments",)

    def __init__(self, arguments):
        self.arguments = arguments

    def __getstate__(self):
        return self.arguments

    def __setstate__(self, arguments):
        self.arguments = arguments


def _run_chunk(function, chunk):
    """function(*a) for each a of the chunk, in order: one submission to an executor."""
    return [function(*a) for a in chunk.arguments]


def chunk_sizes(count, chunksize=None):
    """The tasks per chunk: `chunksize`, or the count spread over DEFAULT_CHUNKS chunks."""
    if chunksize is None:
        return max(1, math.ceil(count / DEFAULT_CHUNKS))
    try:
        size = int(chunksize)
    except (TypeError, ValueError):
        raise TypeError("chunksize must be a whole number") from None
    if size != chunksize or size < 1:
        raise ValueError(f"chunksize must be a whole number of at least 1, not {chunksize}")
    return size


def ordered_results(function, arguments, executor=None, chunksize=None):
    """Yields function(*a) for every tuple a of `arguments`, in their order.

    With an executor the tasks are submitted in chunks at once and their results taken in
    order as they come, each chunk's results let go once they are yielded. The first task (in
    order) that raises ends the iteration with its exception, as it would one after the other;
    the chunks not yet started are cancelled.
    """
    arguments = list(arguments)
    if executor is None:
        for a in arguments:
            yield function(*a)
        return
    size = chunk_sizes(len(arguments), chunksize)
    pending = collections.deque(executor.submit(_run_chunk, function, _Chunk(arguments[i:i + size]))
                                for i in range(0, len(arguments), size))
    try:
        while pending:
            results = pending.popleft().result()
            for k in range(len(results)):
                result, results[k] = results[k], None
                yield result
    finally:
        for future in pending:
            future.cancel()
