// The sanitizer build's leak check reads these: fontconfig keeps its configuration for the life of
// the process on purpose, and the settings window's text loads it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so.1\n";
}
