// ThreadSanitizer settings of this test program. Qt comes from the distribution, built
// without ThreadSanitizer: its locks are invisible to it, so allocations and copies that Qt
// makes on its own worker threads (a tool bar being shown hands work to Qt's thread pool; a
// connection to another host asks the system proxy settings on a thread of its own)
// look like races. Interceptors called from inside Qt are therefore not checked; every access
// made by the project's own code still is.
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_options();

extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n";
}

// QProcess starts its child with a vfork-style clone that shares the parent's memory until
// the child runs exec. ThreadSanitizer's clone interceptor then records, in that shared
// memory, a fork of a multi-threaded process, and the parent itself would die at the next
// thread it starts (a runtime connection's reader, after a test launched the page runtime).
// Nothing forks here without exec, so that check only has false alarms to give.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
