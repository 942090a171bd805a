// The last line of defence of every tool's main: an exception that nothing else caught ends the
// run with a message and a status of its own, never with abort's signal (a shell's 134) and a
// core. Running out of memory is said as such; anything else is named as an internal fault,
// with what the exception says.
#pragma once

#include <cstdio>
#include <exception>
#include <new>

// The status of a run that ended on an exception no part of the tool handled.
constexpr int ExitInternalFault = 70;

template <typename Body>
int guarded_main(const char* tool, Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        // Nothing here allocates: the message must go out when memory is what ran out.
        fprintf(stderr, "%s: out of memory\n", tool);
    } catch (const std::exception& e) {
        fprintf(stderr, "%s: internal error: %s\n", tool, e.what());
    } catch (...) {
        fprintf(stderr, "%s: internal error\n", tool);
    }
    fflush(stdout);
    return ExitInternalFault;
}
