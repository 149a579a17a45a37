#pragma once

// How cdrweb ends a request it cannot go on with (out of memory, or a broken
// precondition of the C++ library; see CxxRuntime.cpp): with a 500 answer
// that needs no memory, or, once the answer's head is out (a download is
// written as it is read), with a last line that says why. Then it exits
// with status 1. One thread; the state is the process's.
namespace CxxRuntime {

// Says that the head of the answer is written.
void HeadWritten();

}  // namespace CxxRuntime
