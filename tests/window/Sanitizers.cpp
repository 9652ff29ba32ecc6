// fontconfig loses a few hundred bytes while it parses its system
// configuration; that is the library's. The sanitizer runtime looks this hook
// up by name, hence default visibility.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
