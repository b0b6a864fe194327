vorlix_test(scan_csv_rows_test SOURCES rows_test.cpp LIBS vorlix_scan_csv_writer LABELS threads)
