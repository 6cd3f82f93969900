// The OS layer keeps its condition variables in arena memory, which the leak
// checker does not scan; the mutex a std::condition_variable_any allocates
// for itself therefore looks unreferenced when no thread is waiting on it
// (pools made by these tests without workers). Those records live for the
// whole process by design.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:std::_V2::condition_variable_any::condition_variable_any\n";
}
