// A shared library with an STB_GNU_UNIQUE symbol and an exported function that is no entry point:
// the plugin export check must refuse it on both counts.
__attribute__((visibility("default"))) inline int& sharedCounter()
{
    // Built with -fgnu-unique, this static becomes one object for every library that has it.
    static int counter = 0;
    return counter;
}

extern "C" __attribute__((visibility("default"))) int vmsHostUniqueSymbol()
{
    return ++sharedCounter();
}
