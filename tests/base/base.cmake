vorlix_test(base_tests SOURCES log_test.cpp io_error_test.cpp stream_text_test.cpp LIBS vorlix_base)
