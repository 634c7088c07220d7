# Shortcut files, Enter, the attributes dialog: the portable logic's tests and the shortcut
# reader's fuzz harness (natively), and the actions through the plugin in the host stand-in
# against the emulated device (under Wine).
kel_test(files_lnk_core_tests SOURCES tests/lnk_core_test.cpp LIBS files_core)
kel_fuzzer(files_lnk_fuzz SOURCES tests/lnk_fuzz_shortcut.cpp LIBS files_core CORPUS tests/lnk_seeds)
