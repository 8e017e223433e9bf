// kavrik/try.hpp: KAVRIK_TRY and KAVRIK_CATCH_ALL, which stop every exception
// of a callable at the trampoline that called it.  Without exceptions the
// handler becomes an else branch that never runs but still compiles.  No
// include guard: each C++ header of the family includes it where it needs
// the macros and #undefs them at its end.
#ifndef KAVRIK_TRY
#if defined(__cpp_exceptions)
#define KAVRIK_TRY try
#define KAVRIK_CATCH_ALL catch (...)
#else
#define KAVRIK_TRY if (true)
#define KAVRIK_CATCH_ALL else
#endif
#endif
