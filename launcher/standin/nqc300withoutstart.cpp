// A runtime library without the start export, for the launcher's failure test.

extern "C" __attribute__((visibility("default"))) int __nqcOtherExport() {
    return 0;
}
