"""A stack of maps thinned through dask.array.map_blocks, one map per block,
gives each map's own bits: on dask's threads and on a local distributed
cluster (the example of docs/python.md)."""

import numpy
import pytest

import crestsplit

dask_array = pytest.importorskip("dask.array")
distributed = pytest.importorskip("distributed")


def thin_block(edge, orientation):
    return crestsplit.crest_thin(edge[0], orientation[0], 2, 3, 1.0)[None]


def stack(rng, count=4, h=48, w=40):
    edge = rng.random((count, h, w), dtype=numpy.float32)
    orientation = rng.uniform(-3, 3, (count, h, w)).astype(numpy.float32)
    return edge, orientation


def thinned(edge, orientation, scheduler):
    e = dask_array.from_array(edge, chunks=(1,) + edge.shape[1:])
    o = dask_array.from_array(orientation, chunks=(1,) + edge.shape[1:])
    return dask_array.map_blocks(thin_block, e, o, dtype=numpy.float32).compute(scheduler=scheduler)


def expected(edge, orientation):
    return numpy.stack([crestsplit.crest_thin(e, o, 2, 3, 1.0) for e, o in zip(edge, orientation)])


def test_dask_threads_give_each_maps_bits():
    edge, orientation = stack(numpy.random.default_rng(3))
    assert thinned(edge, orientation, "threads").tobytes() == expected(edge, orientation).tobytes()


def test_local_cluster_gives_each_maps_bits():
    edge, orientation = stack(numpy.random.default_rng(4))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        got = thinned(edge, orientation, client)
    assert got.tobytes() == expected(edge, orientation).tobytes()
