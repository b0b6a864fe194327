vorlix_bench(workers_bench SOURCES workers_bench.cpp
             LIBS vorlix_workers_run vorlix_workers_shared vorlix_scan_csv_writer vorlix_sim_core)
