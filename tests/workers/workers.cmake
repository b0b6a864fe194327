vorlix_test(workers_run_test SOURCES acquisition_test.cpp live_test.cpp pacing_test.cpp start_test.cpp
            LIBS vorlix_workers_run vorlix_sim_core LABELS threads)
