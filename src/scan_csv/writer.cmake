vorlix_library(vorlix_scan_csv_writer scan_csv SOURCES writer.cpp LIBS vorlix_base fmt::fmt)
