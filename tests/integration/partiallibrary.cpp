// A library that offers only one of the two functions, to prove that binding
// is all or nothing.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) void SetCommandEntry(const char* /*text*/,
                                                                       int32_t /*zero*/) {}
