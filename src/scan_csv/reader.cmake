vorlix_library(vorlix_scan_csv_reader scan_csv SOURCES reader.cpp LIBS vorlix_base)
