vorlix_test(base_tests SOURCES log_test.cpp LIBS vorlix_base)
