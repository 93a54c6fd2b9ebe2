// A shared library without a plug-in entry point.
extern "C" __attribute__((visibility("default"))) int qv3NotAPlugIn() { return 0; }
