// Settings of the sanitizer runtimes for every test process of a build with
// VELMORA_SANITIZE, compiled in so that they hold as well for the processes
// that tests start with an environment of their own (the end-to-end
// processes). Every report is written into a file under
// VELMORA_SANITIZER_REPORTS, where the test command looks for them after
// the suite: a report from a process whose exit status no test checks still
// fails the run. The libfaketime library preloaded by the end-to-end tests
// comes before the sanitizer runtime, which must not refuse to start then.

#define VELMORA_VISIBLE extern "C" __attribute__((visibility("default"), used))

VELMORA_VISIBLE const char* __asan_default_options() {
  return "halt_on_error=1:detect_leaks=1:"
         "detect_stack_use_after_return=1:check_initialization_order=1:"
         "verify_asan_link_order=0:log_path=" VELMORA_SANITIZER_REPORTS "/asan";
}

VELMORA_VISIBLE const char* __lsan_default_options() {
  return "print_suppressions=0:suppressions=" VELMORA_LSAN_SUPPRESSIONS;
}

VELMORA_VISIBLE const char* __ubsan_default_options() {
  return "halt_on_error=1:print_stacktrace=1:log_path=" VELMORA_SANITIZER_REPORTS "/ubsan";
}
