#pragma once
// Hands the heap's free pages back to the system. A window that lets go of a large table
// calls it, so closing the window lowers the program's memory, not only its heap use.

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quil::ui {

inline void giveFreeMemoryBack() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace quil::ui
