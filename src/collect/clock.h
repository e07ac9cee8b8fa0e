// The monotonic clock, in seconds: the time base of the counter sampling
// window, immune to changes of the wall clock.
#pragma once

double monotonic_seconds();
