vorlix_bench(bench_csv SOURCES csv_bench.cpp
             LIBS vorlix_scan_csv_reader vorlix_scan_csv_writer vorlix_instrument_protocol)
