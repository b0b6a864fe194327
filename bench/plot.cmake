vorlix_bench(bench_plot SOURCES plot_bench.cpp LIBS vorlix_app_screens)
