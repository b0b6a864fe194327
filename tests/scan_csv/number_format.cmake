vorlix_test(scan_csv_number_format_test SOURCES number_format_test.cpp
            LIBS vorlix_scan_csv_writer vorlix_instrument_protocol)
