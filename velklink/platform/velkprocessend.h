// Whether the process is ending: its other threads already stopped by the
// system, the library's objects about to be freed with it. Nothing may then
// wait for a thread of the library (it will never answer), nor tear down what
// the system takes back anyway.
#pragma once

bool ProcessEnding();
