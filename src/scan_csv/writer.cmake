vorlix_library(vorlix_scan_csv_writer scan_csv SOURCES writer.cpp number_format.cpp rows.cpp
  LIBS vorlix_base fmt::fmt Threads::Threads)
