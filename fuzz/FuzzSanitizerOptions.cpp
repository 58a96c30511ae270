// The sanitizers' settings for every fuzz target, built in so that a replay by
// hand runs as the fuzzing did (ASAN_OPTIONS and UBSAN_OPTIONS still override
// them).

// quarantine_size_mb=64: a freed block stays poisoned until 64 MB more have
// been freed. One input of any target frees less than half of that (the record
// directory's at most 15 MB in a minute of fuzzing, about 30 MB by its limit of
// 16 operations; a record image's about 5 MB), so a use after free within an
// input is caught as with the default of 256 MB. With the default, every new
// 64 KiB record image landed on memory left cold for a long while, and page
// faults and cache misses took more than half the time.
// allocator_release_to_os_interval_ms=-1: freed pages are not handed back to
// the system every 5 s only to be faulted in again by the next inputs.
extern "C" const char *__asan_default_options() {
    return "quarantine_size_mb=64:allocator_release_to_os_interval_ms=-1";
}

// A report of undefined behaviour stops the run with the input that caused it
// (the targets are built with -fno-sanitize-recover=undefined); with its stack.
extern "C" const char *__ubsan_default_options() {
    return "print_stacktrace=1";
}
