vorlix_fuzzer(fuzz_csv SOURCES csv_reader.cpp LIBS vorlix_scan_csv_reader)
