// A shared library without any plugin entry point, for the loader's error path.
extern "C" __attribute__((visibility("default"))) int vmsHostNotAPlugin()
{
    return 42;
}
