// ThreadSanitizer settings of this test program. Qt comes from the distribution, built
// without ThreadSanitizer: its locks are invisible to it, so allocations and copies that Qt
// makes on its own worker threads (a tool bar being shown hands work to Qt's thread pool; a
// connection to another host asks the system proxy settings on a thread of its own)
// look like races. Interceptors called from inside Qt are therefore not checked; every access
// made by the project's own code still is.
extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n";
}
