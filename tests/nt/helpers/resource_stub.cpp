// A resource library: a shared object with one exported function, copied
// under the names that the resource-library search tries.
extern "C" __attribute__((visibility("default"))) int resource_stub_language() { return 1; }
