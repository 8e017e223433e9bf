// Test-only: the companion's allocation countdown.  When positive it is
// decreased on every allocation and the allocation that brings it to 0 fails
// (as do all later ones while it stays 0); negative (the default) disables it.
// Tests reach it by linking the companion's objects.
#pragma once

extern long kvx_alloc_countdown;
