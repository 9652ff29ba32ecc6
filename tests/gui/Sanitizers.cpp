// fontconfig loses a few hundred bytes while it parses its system
// configuration (inside its expat callbacks, before any font is asked for).
// That is the library's, not ours; everything else must stay leak-free.
// The sanitizer runtime looks this hook up by name, hence default visibility.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
