vorlix_test(workers_shared_test SOURCES shared_test.cpp traces_test.cpp LIBS vorlix_workers_shared
            LABELS threads)
