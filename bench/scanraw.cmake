vorlix_bench(bench_scanraw SOURCES scanraw_bench.cpp LIBS vorlix_instrument_protocol Threads::Threads)
