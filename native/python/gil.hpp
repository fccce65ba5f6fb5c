// Runs native work with the interpreter lock released.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace velmora::py {

// Releases the lock for the lifetime of the guard. No Python object may be
// touched while it lives.
class ReleasedGil {
public:
    ReleasedGil() : state_(PyEval_SaveThread()) {}
    ~ReleasedGil() { PyEval_RestoreThread(state_); }
    ReleasedGil(const ReleasedGil&) = delete;
    ReleasedGil& operator=(const ReleasedGil&) = delete;

private:
    PyThreadState* state_;
};

// Calls `work` without the lock and returns its (native) result.
template <class Work>
auto without_gil(Work&& work) {
    ReleasedGil released;
    return work();
}

}  // namespace velmora::py
