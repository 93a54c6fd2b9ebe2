// A shared library without a plug-in entry point.
#ifdef _WIN32
extern "C" __declspec(dllexport) int qv3NotAPlugIn() { return 0; }
#else
extern "C" __attribute__((visibility("default"))) int qv3NotAPlugIn() { return 0; }
#endif
