vorlix_test(base_tests SOURCES log_test.cpp io_error_test.cpp file_io_test.cpp error_ref_test.cpp LIBS vorlix_base)
